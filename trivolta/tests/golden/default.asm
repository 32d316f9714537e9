
	DB	fbh,fbh,fbh,fbh,fbh,fbh,fbh,f9h
	DB	f9h,f9h,f9h,f9h,f9h,f9h,fdh,fdh
	DB	fdh,fdh,fdh,fdh,fdh,fch,fch,fch
	DB	fch,fch,fch,fch,feh,feh,feh,feh
	DB	feh,feh,feh,fah,fah,fah,fah,fah
	DB	fah,fah
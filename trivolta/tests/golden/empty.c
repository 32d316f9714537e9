code const uchar PhaseTable [0] =
  {
  };
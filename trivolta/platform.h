// Start-up of the platform the generator runs on.
#pragma once

// Initialises the application framework; false when it failed.
// Nothing needs initialising on the platforms we build for, so it succeeds.
bool initFramework();

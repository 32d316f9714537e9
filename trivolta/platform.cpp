#include "platform.h"

bool initFramework()
{
    return true;
}

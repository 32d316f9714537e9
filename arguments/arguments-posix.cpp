#include "arguments.h"

std::vector<std::string> typedArguments(int argc, char** argv)
{
    return {argv, argv + argc};
}

#include "tools/report/report.h"

#include <iostream>

int main (int argc, char** argv)
{
    std::vector<std::string> args (argv + 1, argv + argc);
    return run_report (args, std::cout, std::cerr);
}

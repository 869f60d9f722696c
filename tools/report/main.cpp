#include "tools/report/report.h"

#include "src-base/platform/os_conventions.h"

#include <iostream>

int main (int argc, char** argv)
{
    return run_report (Ziz::sys::programArguments (argc, argv), std::cout, std::cerr);
}

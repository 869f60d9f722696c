#include "src-cfg/core/history_location.h"

#include <gtest/gtest.h>

TEST (BoardHistoryLocation, FolderAboveTheFirstYearOfTheOutputDirectory)
{
    const std::pair<std::string, std::string> cases[] = {
        { "C:\\22m2k\\data\\%Y\\boardmc\\", "C:\\22m2k\\data\\boards.sqlite" },
        { "/home/op/22m2k/data/%Y/boardmc/", "/home/op/22m2k/data/boards.sqlite" },
        // The first %Y decides, and the element that holds it is left whole.
        { "/srv/mc/year-%Y/%m/%Y/", "/srv/mc/boards.sqlite" },
        { "D:\\records\\%Y", "D:\\records\\boards.sqlite" },
        // No year: in the output directory itself, with its own separator.
        { "/srv/records", "/srv/records/boards.sqlite" },
        { "/srv/records/", "/srv/records/boards.sqlite" },
        { "E:\\records", "E:\\records\\boards.sqlite" },
        // No folder above the year's element.
        { "%Y/boardmc/", "boards.sqlite" },
        { "/%Y/", "/boards.sqlite" },
        { "", "boards.sqlite" },
    };
    for (const auto& [output_directory, expected] : cases)
        EXPECT_EQ (default_board_history_file (output_directory), expected) << output_directory;
}

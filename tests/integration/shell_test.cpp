// The main window, its controls and the message log, in-process.
#include <gtest/gtest.h>

#include "app/messagelog.h"
#include "app/shell.h"

#include <commctrl.h>
#include "boxes.h"
#include "testapp.h"
#include "wait.h"

class Shell : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearVelkorRegistry();
        StartBoxAnswering();
        ASSERT_TRUE(StartTestApp());
    }
    void TearDown() override
    {
        StopTestApp();
        StopBoxAnswering();
    }
};

TEST_F(Shell, FirstLineIsTheStartLine)
{
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ('+', lines[0][0]);
    EXPECT_EQ("VelKor gestartet", lines[0].substr(16));
}

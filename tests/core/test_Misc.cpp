// Report lines. (Fatal exits and the exit notices of faults are checked end
// to end, on the running program.)
#include "core/Misc.h"
#include "tests/TestStore.h"

TEST(Misc, ReportLines)
{
    Misc_SetProgramName("DabStone");
    EXPECT_EQ(Stderr([] { Misc_Error(1017, 2); }), "DabStone: error: No more memory available\n");
    EXPECT_EQ(Stderr([] { Misc_OpenWarning("", 0); }), "DabStone: warning: Error not found - code -1 \n");
    EXPECT_EQ(Stderr([] { Misc_OpenError("can't write message", 12); }),
              std::string("DabStone: error: can't write message : ") + Misc_ErrorNumToString(12) + "\n");
    EXPECT_EQ(Stderr([] { Misc_OpenWarning("busy", 0); }), "DabStone: warning: busy\n");
}

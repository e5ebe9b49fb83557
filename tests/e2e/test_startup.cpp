// Start-up as the kernel sees it: the order of dabstone's first messages,
// the work images it asks for and gets, and the settings record that
// survives from one session to the next.
#include "tests/e2e/E2e.h"

#include "core/Bytes.h"
#include "core/Msg.h"

#include <gtest/gtest.h>

using namespace e2e;

TEST(Startup, OrderAndWorkImagesWithoutDelay)
{
    Session s;
    ASSERT_TRUE(s.Start({"--no-display"}, {"DABSTONE_DELAY="}) && s.Ready()) << s.kernel.Err();

    std::vector<Frame> in = s.log.Received(s.programPid);
    std::vector<int32_t> expected = {MSG_HELLO, MSG_DROP_WINDOW, MSG_DROP_WINDOW};
    expected.insert(expected.end(), 6, MSG_CREATE_WORK);
    expected.push_back(MSG_READY);
    std::vector<int32_t> codes;
    for (size_t i = 0; i < in.size() && i < expected.size(); i++)
        codes.push_back(in[i].code);
    ASSERT_EQ(codes, expected);
    EXPECT_EQ(in[0].Word(0), s.programPid) << "hello carries the program's id";
    EXPECT_EQ(in[9].Text(0), "DabStone");

    // Each work image is answered, made in the store (the reply tail's
    // echo is the kernel tests' business).
    std::vector<Frame> answers = s.log.Sent(MSG_WORK_CREATED);
    ASSERT_EQ(answers.size(), 6u);
    for (const Frame &answer : answers)
        EXPECT_EQ(answer.Text(0).rfind(s.dir.path + "/", 0), 0u) << answer.Text(0);
    // Settings follow the ready message; without a saved record, status 1014.
    std::vector<Frame> sent = s.log.Sent(MSG_SETTINGS);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].Word(0), 1014);

    EXPECT_EQ(s.QuitByKernel(), 0) << s.kernel.Err();
    // The work images are the kernel's temporaries: gone with the session.
    for (const Frame &answer : answers)
        EXPECT_FALSE(Exists(answer.Text(0)));
    EXPECT_TRUE(Exists(s.image));
}

namespace
{

// Quits dabstone as the window manager would; it saves its settings then.
int QuitByWindowManager(Session &s)
{
    EXPECT_TRUE(SendWmDelete(s.MainWindow()));
    return s.Finish();
}

std::vector<int32_t> SettingsWords(const std::string &file)
{
    std::string bytes = ReadFile(file);
    std::vector<int32_t> words;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4)
        words.push_back(Bytes_GetS32(bytes.data() + i));
    return words;
}

void PutWord(std::string &bytes, int index, int32_t value)
{
    Bytes_PutS32(&bytes[4 * size_t(index)], value);
}

} // namespace

TEST(Settings, SurviveARestart)
{
    TempDir shared;
    std::string file = shared.File("DabStone.settings");
    std::vector<int32_t> first;
    {
        Session s;
        s.settings = file;
        ASSERT_TRUE(s.Start({"--no-display"}) && s.Ready()) << s.kernel.Err();
        ASSERT_EQ(QuitByWindowManager(s), 0) << s.kernel.Err();
        // The record is saved as dabstone sent it, before its exit notice.
        std::vector<Frame> in = s.log.Received(s.programPid);
        ASSERT_GE(in.size(), 2u);
        EXPECT_EQ(in[in.size() - 2].code, MSG_SAVE_SETTINGS);
        EXPECT_EQ(in.back().code, MSG_EXIT);
        EXPECT_EQ(in[in.size() - 2].payload.size(), 4080u);
        first = SettingsWords(file);
        ASSERT_EQ(first.size(), 37u);
    }
    // A changed record comes back as it was saved; the clamping of its
    // values is the engine's unit tests' business.
    std::string record = ReadFile(file);
    PutWord(record, 6, 60); // spacing
    WriteFile(file, record);
    {
        Session s;
        s.settings = file;
        ASSERT_TRUE(s.Start({"--no-display"}) && s.Ready()) << s.kernel.Err();
        std::vector<Frame> load = s.log.Sent(MSG_SETTINGS);
        ASSERT_EQ(load.size(), 1u);
        EXPECT_EQ(load[0].Word(0), 0) << "a saved record is sent with status 0";
        EXPECT_EQ(std::string(load[0].payload.begin() + 4, load[0].payload.end()), record);
        ASSERT_EQ(QuitByWindowManager(s), 0) << s.kernel.Err();
    }
    std::vector<int32_t> second = SettingsWords(file);
    ASSERT_EQ(second.size(), 37u);
    EXPECT_EQ(second[6], 60);
    EXPECT_EQ(std::vector<int32_t>(second.begin() + 10, second.begin() + 36),
              std::vector<int32_t>(first.begin() + 10, first.begin() + 36));
}

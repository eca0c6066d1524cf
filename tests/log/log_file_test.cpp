// The diagnostic log on a path of the test's own, in a directory as open
// as /tmp (world-writable, sticky): the level read from the file, the
// announcement, and the things a hostile user may leave at the path.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <latch>
#include <thread>
#include <vector>

#include "log_cases.h"
#include "support/debug_log.h"

using namespace zt;
using namespace logtest;

namespace {

struct LogDir : ::testing::Test {
    std::string dir, path, aside;
    void SetUp() override
    {
        char tmpl[] = "/tmp/zt-log-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_EQ(chmod(tmpl, 01777), 0);
        path = dir + "/zirpomatik.log";
        aside = dir + "/aside";
        ASSERT_EQ(mkdir(aside.c_str(), 0700), 0);
        g_log_level = 0;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void clear() { std::filesystem::remove_all(path); }
};

}  // namespace

TEST_F(LogDir, LevelAndAnnouncementForWhatLiesAtThePath)
{
    for (const Case& c : kCases) {
        clear();
        ASSERT_TRUE(place(c, path, aside)) << c.content << " (needs root)";
        const std::string before = what_lies_at(path, aside);
        g_log_level = 12345;
        debug_log_init_at(path.c_str());
        EXPECT_EQ(g_log_level, c.level) << before;
        EXPECT_EQ(what_lies_at(path, aside), before + (c.written ? kAnnouncement : ""));
    }
}

// For every number that fits, the level is what fscanf "%d" reads from the
// file; 1 when it reads none.
TEST_F(LogDir, LevelIsTheFirstNumberAsFscanfReadsIt)
{
    const char* const texts[] = {
        "3", "  7 days", "\n\t\v\f\r-12", "+0", "-0", "007", "0x1F", "1e3", "12abc", "4.9",
        "abc", "", " ", "+", "-", "+-3", "--3", "- 3", "\xEF\xBB\xBF" "5", "2147483647", "-2147483648",
        "-2147483647\n8",
    };
    for (const char* text : texts) {
        write_file(path, text);
        int expected = 0;
        FILE* f = std::fopen(path.c_str(), "r");
        ASSERT_NE(f, nullptr);
        if (std::fscanf(f, "%d", &expected) != 1) expected = 1;
        std::fclose(f);
        debug_log_init_at(path.c_str());
        EXPECT_EQ(g_log_level, expected) << '"' << text << '"';
    }
}

// Out of range, the number saturates to the nearest 32-bit limit.
TEST_F(LogDir, NumbersBeyondThirtyTwoBitsSaturate)
{
    const std::pair<const char*, int32_t> cases[] = {
        {"2147483648", INT32_MAX}, {"-2147483649", INT32_MIN},
        {"123456789012345678901234567890", INT32_MAX}, {"-000000000000000000000000000042", -42},
    };
    for (const auto& [text, level] : cases) {
        write_file(path, text);
        debug_log_init_at(path.c_str());
        EXPECT_EQ(g_log_level, level) << text;
    }
}

// A message is written when its level is at or below the file's level, one
// open, write and close each; the file may vanish between messages.
TEST_F(LogDir, MessagesAtOrBelowTheLevel)
{
    write_file(path, "2\n");
    debug_log_init_at(path.c_str());
    debug_log_at(path.c_str(), 2, "two %d %s", 2, "x");
    debug_log_at(path.c_str(), 3, "three");
    debug_log_at(path.c_str(), -7, "minus seven");
    EXPECT_EQ(read_file(path), "2\n" + kAnnouncement + "two 2 x\nminus seven\n");
    clear();
    debug_log_at(path.c_str(), 1, "again");
    EXPECT_EQ(read_file(path), "again\n");
}

// Instances created on several threads at once: every announcement lands
// whole, and the level is the file's.
TEST_F(LogDir, ConcurrentInstantiationsAppendWholeLines)
{
    write_file(path, "2\n");
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&] {
            start.arrive_and_wait();
            debug_log_init_at(path.c_str());
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(g_log_level, 2);
    std::string expected = "2\n";
    for (int i = 0; i < kThreads; ++i) expected += kAnnouncement;
    EXPECT_EQ(read_file(path), expected);
}

// The log as it works in a real host: lilv instantiates the built plugin,
// which reads the real path /tmp/zirpomatik.log. Whatever a user keeps
// there is moved aside first and put back afterwards; every case holds the
// CTest lock zirpomatik_log_path. Other tests may create instances at the
// same time, so a written case may see more than one announcement.
#include <gtest/gtest.h>
#include <lilv/lilv.h>

#include "built_bundle.h"
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "log_cases.h"

using namespace logtest;

namespace {

constexpr const char* kRealPath = "/tmp/zirpomatik.log";

struct RealLogPath : ::testing::Test {
    std::string aside, saved;
    LilvWorld* world = nullptr;
    const LilvPlugin* plugin = nullptr;

    void SetUp() override
    {
        char tmpl[] = "/tmp/zt-realpath-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        aside = tmpl;
        struct stat st;
        if (lstat(kRealPath, &st) == 0) {
            saved = aside + "/saved";
            ASSERT_EQ(std::rename(kRealPath, saved.c_str()), 0);
        }
        world = lilv_world_new();
        plugin = load_built_plugin(world);
        ASSERT_NE(plugin, nullptr);
    }
    void TearDown() override
    {
        if (world) lilv_world_free(world);
        std::filesystem::remove_all(kRealPath);
        if (!saved.empty() && std::rename(saved.c_str(), kRealPath) != 0) {
            ADD_FAILURE() << "what lay at " << kRealPath << " is left in " << saved;
            return;
        }
        std::filesystem::remove_all(aside);
    }
};

}  // namespace

TEST_F(RealLogPath, InstantiateThroughLilv)
{
    for (const Case& c : kCases) {
        std::filesystem::remove_all(kRealPath);
        ASSERT_TRUE(place(c, kRealPath, aside)) << c.content << " (needs root)";
        const std::string before = what_lies_at(kRealPath, aside);
        LilvInstance* inst = lilv_plugin_instantiate(plugin, 48000.0, nullptr);
        ASSERT_NE(inst, nullptr) << before;
        lilv_instance_free(inst);
        // An instance of another test may have announced itself before
        // `before` was read, too.
        EXPECT_EQ(once(what_lies_at(kRealPath, aside)), once(before + (c.written ? kAnnouncement : "")));
    }
}

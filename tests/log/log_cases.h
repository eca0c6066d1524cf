#pragma once
// What may lie at the log path when an instance is created, and how to
// tell what lies there afterwards. Shared by the tests on a path of their
// own and the test through a real host on the real path.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace logtest {

inline const std::string kAnnouncement = "### log is active now ### \n";

// Foreign: a regular file owned by another user. Symlink: a link to a file
// of the test's own, which must stay untouched.
enum class Kind { None, File, Foreign, Symlink, Fifo, Directory };

struct Case {
    Kind kind;
    const char* content;
    int32_t level;  // g_log_level afterwards
    bool written;   // announcement appended
};

// In this order for the real path, where other test processes may create
// instances at any time: one that read the file of a written case may
// append just after the next case is in place, so no file that must stay
// unwritten follows a written one.
inline const Case kCases[] = {
    {Kind::None, "", 0, false},
    {Kind::File, "-1\n", -1, false},
    {Kind::File, "-99999999999", INT32_MIN, false},  // out of range: saturates
    {Kind::Foreign, "3\n", 0, false},
    {Kind::File, "3 and earlier lines\n", 3, true},
    {Kind::File, "", 1, true},
    {Kind::File, "level three\n", 1, true},
    {Kind::File, "0", 0, true},
    {Kind::File, "99999999999", INT32_MAX, true},
    {Kind::Symlink, "3\n", 0, false},
    {Kind::Fifo, "", 0, false},
    {Kind::Directory, "", 0, false},
};

inline std::string read_file(const std::string& path)
{
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

inline void write_file(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Puts the case at path; a link points into aside, a directory of the
// test's own. False when the case cannot be set up (chown needs root).
inline bool place(const Case& c, const std::string& path, const std::string& aside)
{
    const std::string target = aside + "/target";
    switch (c.kind) {
    case Kind::None: return true;
    case Kind::File: write_file(path, c.content); return true;
    case Kind::Foreign: {
        write_file(path, c.content);
        const passwd* nobody = getpwnam("nobody");
        return nobody && chown(path.c_str(), nobody->pw_uid, nobody->pw_gid) == 0;
    }
    case Kind::Symlink: write_file(target, c.content); return symlink(target.c_str(), path.c_str()) == 0;
    case Kind::Fifo: return mkfifo(path.c_str(), 0666) == 0;
    case Kind::Directory: return mkdir(path.c_str(), 0777) == 0;
    }
    return false;
}

// What lies at path, in words, ending in the file's (or link target's)
// contents so that an announcement appended to it reads as appended here.
inline std::string what_lies_at(const std::string& path, const std::string& aside)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return "nothing";
    if (S_ISLNK(st.st_mode)) return "link to a file holding: " + read_file(aside + "/target");
    if (S_ISFIFO(st.st_mode)) return "fifo";
    if (S_ISDIR(st.st_mode)) return std::filesystem::is_empty(path) ? "empty directory" : "directory";
    if (!S_ISREG(st.st_mode)) return "something else";
    return "file of uid " + std::to_string(st.st_uid) + " holding: " + read_file(path);
}

// Several announcements in a row read as one: other processes may create
// instances while a test uses the real path.
inline std::string once(std::string s)
{
    const std::string twice = kAnnouncement + kAnnouncement;
    for (size_t at; (at = s.find(twice)) != std::string::npos;) s.erase(at, kAnnouncement.size());
    return s;
}

}  // namespace logtest

// SPDX-License-Identifier: MIT
// Fresh folders for tests that need files: a unique name made by mkdtemp
// under $TMPDIR, removed again at the end, so that two runs on one machine
// (or a root run before a user's run) never meet in the same folder.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace kavoda::test {

class TempFolder {
public:
    TempFolder()
    {
        namespace fs = std::filesystem;
        const char* env = ::getenv("TMPDIR");
        const fs::path base = env && *env ? fs::path(env) : fs::path("/tmp");
        std::string pattern = (base / "kavoda-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a test folder under " + base.string());
        m_path = pattern;
    }
    ~TempFolder() { remove(m_path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path file(const std::string& name) const { return m_path / name; }

    // Removes a tree even when a test left folders in it read-only or
    // unsearchable: their owner may always give the rights back.
    static void remove(const std::filesystem::path& root)
    {
        namespace fs = std::filesystem;
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(root, ec)))
            return;
        std::vector<fs::path> folders{root};
        while (!folders.empty()) {
            const fs::path dir = folders.back();
            folders.pop_back();
            ::chmod(dir.c_str(), S_IRWXU);
            for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
                if (it->symlink_status(ec).type() == fs::file_type::directory)
                    folders.push_back(it->path());
        }
        fs::remove_all(root, ec);
    }

private:
    std::filesystem::path m_path;
};

namespace detail {

// Holds the folders handed out during one test and removes them when it ends.
class TestFolders : public ::testing::EmptyTestEventListener {
public:
    static TestFolders& instance()
    {
        static TestFolders* folders = [] {
            auto* f = new TestFolders;
            ::testing::UnitTest::GetInstance()->listeners().Append(f);  // takes ownership
            return f;
        }();
        return *folders;
    }
    std::filesystem::path make()
    {
        m_folders.push_back(std::make_unique<TempFolder>());
        return m_folders.back()->path();
    }
    void OnTestEnd(const ::testing::TestInfo&) override { m_folders.clear(); }
    void OnTestProgramEnd(const ::testing::UnitTest&) override { m_folders.clear(); }

private:
    std::vector<std::unique_ptr<TempFolder>> m_folders;
};

}  // namespace detail

// An empty folder of the running test's own, removed when the test ends.
inline std::filesystem::path testFolder()
{
    return detail::TestFolders::instance().make();
}

}  // namespace kavoda::test

// SPDX-License-Identifier: MIT
// The built kavoda-cli as a script runs it: through pipes, with its own
// settings folder, exit codes as the shell sees them, and a real SIGINT.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "TempFolder.h"

extern char** environ;

namespace kavoda {
namespace {

namespace fs = std::filesystem;

struct Child {
    pid_t pid = -1;
    int in = -1;
    int out = -1;
    int err = -1;
};

struct Finished {
    int code = -1;  // exit code, or 128 + signal
    std::string out;
    std::string err;
};

std::string drain(int fd)
{
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return text;
}

class BinaryTest : public ::testing::Test {
protected:
    void SetUp() override { m_dir = test::testFolder(); }

    // Standard output goes to a pipe, or to the file outPath names.
    Child start(const std::vector<std::string>& args, const char* outPath = nullptr)
    {
        int in[2], out[2], err[2];
        EXPECT_EQ(::pipe(in), 0);
        EXPECT_EQ(::pipe(out), 0);
        EXPECT_EQ(::pipe(err), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            posix_spawn_file_actions_addclose(&actions, fd);
        if (outPath)
            posix_spawn_file_actions_addopen(&actions, 1, outPath, O_WRONLY, 0);

        std::vector<std::string> all = {KAVODA_CLI_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        // The child's own settings folder: the user's Kavoda.INI stays out of it.
        std::vector<std::string> env = {"XDG_CONFIG_HOME=" + m_dir.string(),
                                        "HOME=" + m_dir.string(), "PATH=/usr/bin:/bin"};
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        Child child;
        EXPECT_EQ(posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        child.in = in[1];
        child.out = out[0];
        child.err = err[0];
        return child;
    }

    Finished finish(Child& child, const std::string& input = std::string())
    {
        std::size_t done = 0;
        while (done < input.size()) {
            const ssize_t n = ::write(child.in, input.data() + done, input.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::close(child.in);
        Finished result;
        result.out = drain(child.out);
        result.err = drain(child.err);
        int status = 0;
        ::waitpid(child.pid, &status, 0);
        result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return result;
    }

    Finished run(const std::vector<std::string>& args, const std::string& input = std::string())
    {
        Child child = start(args);
        return finish(child, input);
    }

    std::string path(const std::string& name) const { return (m_dir / name).string(); }

    fs::path m_dir;
};

TEST_F(BinaryTest, WriteFromStdinReadToStdoutRoundTrip)
{
    std::mt19937 random(11);
    std::string image(2048, '\0');
    for (auto& c : image)
        c = static_cast<char>(random() % 255);  // never FF: every byte differs from a new chip
    const std::vector<std::string> chip = {"-d", "24C16", "--simulate", "--sim-image",
                                           path("chip.bin"), "--delay", "0",
                                           "--sim-write-cycle", "1"};
    auto with = [&chip](std::vector<std::string> more) {
        std::vector<std::string> args = chip;
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    const Finished write = run(with({"write", "-"}), image);
    EXPECT_EQ(write.code, 0) << write.err;
    EXPECT_EQ(write.out, "Wrote 2048 bytes to the 24C16 (0 held their value already); verified.\n");
    EXPECT_EQ(write.err, "") << "no progress bar into a pipe";
    const Finished read = run(with({"read", "-"}));
    EXPECT_EQ(read.code, 0) << read.err;
    EXPECT_EQ(read.out, image);
    EXPECT_EQ(run(with({"verify", "-"}), image).code, 0);
    EXPECT_EQ(run(with({"verify", "-"}), std::string(2048, 'x')).code, 1);
    EXPECT_EQ(run({"frobnicate"}).code, 2);
}

TEST_F(BinaryTest, SigintStopsAReadAndLeavesNoFile)
{
    // A long Delay keeps the read going for minutes; the trace file shows
    // that the port is open and the handler in place.
    Child child = start({"-d", "24C16", "--simulate", "--delay", "2000", "--trace",
                         path("bus.vcd"), "read", path("backup.bin")});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(path("bus.vcd")) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(fs::exists(path("bus.vcd")));
    ::kill(child.pid, SIGINT);
    // Never hang the test run if the signal went unheeded.
    std::atomic<bool> finished{false};
    std::thread guard([&finished, pid = child.pid] {
        for (int i = 0; i < 600 && !finished; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!finished)
            ::kill(pid, SIGKILL);
    });
    const Finished result = finish(child);
    finished = true;
    guard.join();
    EXPECT_EQ(result.code, 130) << result.err;
    EXPECT_NE(result.err.find("Interrupted at "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("backup.bin was not written."), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(path("backup.bin")));
    for (const auto& entry : fs::directory_iterator(m_dir))
        EXPECT_EQ(entry.path().filename().string().find(".backup.bin"), std::string::npos)
            << "temporary file left: " << entry.path();
}

TEST_F(BinaryTest, AFullStandardOutputIsAFailure)
{
    // A 24C16's listing (10121 bytes) outgrows the stdio buffer; get's three
    // bytes only fail when they are flushed.
    for (const std::vector<std::string>& verb :
         {std::vector<std::string>{"get", "0"}, {"dump"}, {"probe"}}) {
        std::vector<std::string> args = {"-d", "24C16", "--simulate", "--delay", "0"};
        args.insert(args.end(), verb.begin(), verb.end());
        Child child = start(args, "/dev/full");
        const Finished result = finish(child);
        EXPECT_EQ(result.code, 1) << verb[0];
        EXPECT_EQ(result.err, "kavoda-cli: Cannot write to standard output\n") << verb[0];
    }
}

TEST_F(BinaryTest, AFileSizeLimitIsAReportedWriteErrorAndLeavesNoFile)
{
    // The child inherits a soft limit of 1 KiB, below a 24C16's 2 KiB.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Child child = start({"-d", "24C16", "--simulate", "--delay", "0", "read", path("backup.bin")});
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    const Finished result = finish(child);
    EXPECT_EQ(result.code, 1) << "not killed by SIGXFSZ: " << result.err;
    EXPECT_NE(result.err.find("backup.bin"), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(path("backup.bin")));
    for (const auto& entry : fs::directory_iterator(m_dir))
        EXPECT_EQ(entry.path().filename().string().find(".backup.bin"), std::string::npos)
            << "temporary file left: " << entry.path();
}

}  // namespace
}  // namespace kavoda

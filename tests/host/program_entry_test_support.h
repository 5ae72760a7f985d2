#pragma once
// The vordash executable of this build run as a child process. Every test gets a
// temporary directory of its own: the working directory, the registry store, the
// event-log file, the data directory and the router's socket. A child runs either to
// its end (run) or in the background (spawn), ended by the id the test started.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace Karsto::entry_test {

namespace fs = std::filesystem;

// Every wait for a child ends at this deadline at the latest.
inline constexpr auto kChildPatience = std::chrono::seconds(20);

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A program of this build: at the top of the build tree, two levels above the test.
inline std::string builtProgram(const char* name) {
    return (fs::read_symlink("/proc/self/exe").parent_path().parent_path().parent_path() / name).string();
}
inline std::string vordashExecutable() { return builtProgram("vordash"); }
inline std::string kernelsimExecutable() { return builtProgram("kernelsim"); }

struct ChildRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// A child started in the background; its output goes to files named after the tag.
struct Child {
    pid_t pid = -1;
    fs::path out;
    fs::path err;
};

class ProgramEntry : public ::testing::Test {
protected:
    ProgramEntry() {
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        root = fs::temp_directory_path() /
               ("vordash_entry_" + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(root);
        work = root / "work";
        jobs = root / "jobs";
        fs::create_directories(work);
        fs::create_directories(jobs);
    }
    ~ProgramEntry() override {
        // A child a failed assertion left running is ended by its id.
        for (pid_t pid : started_) {
            if (::waitpid(pid, nullptr, WNOHANG) == 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
        std::error_code error;
        fs::remove_all(root, error);
    }

    // The router's socket the children use.
    fs::path routerPath() const { return root / "r.sock"; }

    // Starts vordash with the words in the working directory. extra: more environment
    // entries; passFd: a descriptor the child gets as its descriptor 3.
    Child spawn(const std::vector<std::string>& words, const std::string& tag = "child",
                const std::vector<std::string>& extra = {}, int passFd = -1) {
        return spawnProgram(vordashExecutable(), words, tag, extra, passFd);
    }
    // The same for another program of the build.
    Child spawnProgram(const std::string& program, const std::vector<std::string>& words, const std::string& tag,
                       const std::vector<std::string>& extra = {}, int passFd = -1) {
        std::vector<std::string> environment = {
            "VORDASH_REGISTRY_DIR=" + (root / "registry").string(),
            "VORDASH_EVENTLOG_FILE=" + (root / "events.log").string(),
            "VORDASH_DATA_DIR=" + (root / "data").string(),
            "VORDASH_VEK_ROUTER=" + routerPath().string(),
            "HOME=" + root.string(),
            "XDG_DATA_HOME=" + (root / "xdg-data").string(),
            "XDG_STATE_HOME=" + (root / "xdg-state").string(),
        };
        environment.insert(environment.end(), extra.begin(), extra.end());
        // The sanitizers' settings of the test run reach the child too.
        for (char** variable = environ; *variable != nullptr; ++variable) {
            const std::string entry = *variable;
            if (entry.rfind("ASAN_OPTIONS=", 0) == 0 || entry.rfind("UBSAN_OPTIONS=", 0) == 0 ||
                entry.rfind("PATH=", 0) == 0)
                environment.push_back(entry);
        }
        std::vector<std::string> argv = {program};
        argv.insert(argv.end(), words.begin(), words.end());
        std::vector<char*> args;
        for (std::string& word : argv) args.push_back(word.data());
        args.push_back(nullptr);
        std::vector<char*> env;
        for (std::string& entry : environment) env.push_back(entry.data());
        env.push_back(nullptr);

        Child child;
        child.out = root / (tag + ".out");
        child.err = root / (tag + ".err");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, child.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, child.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        // dup2 clears close-on-exec on the copy.
        if (passFd >= 0) posix_spawn_file_actions_adddup2(&actions, passFd, 3);
        // The working directory of the child: spawn does not change it, so change ours
        // around the spawn (the tests run one at a time per process).
        const fs::path saved = fs::current_path();
        fs::current_path(work);
        const int spawned = posix_spawn(&child.pid, args[0], &actions, nullptr, args.data(), env.data());
        fs::current_path(saved);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << args[0];
            child.pid = -1;
            return child;
        }
        started_.push_back(child.pid);
        return child;
    }

    // Waits for the child's end; at the deadline it is killed and the test fails.
    ChildRun finish(const Child& child, std::chrono::milliseconds patience = kChildPatience) {
        ChildRun result;
        if (child.pid < 0) return result;
        const auto deadline = std::chrono::steady_clock::now() + patience;
        int status = 0;
        for (;;) {
            const pid_t done = ::waitpid(child.pid, &status, WNOHANG);
            if (done == child.pid) break;
            if (done < 0 || std::chrono::steady_clock::now() >= deadline) {
                ADD_FAILURE() << "the child did not end in time";
                ::kill(child.pid, SIGKILL);
                ::waitpid(child.pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // polling, bounded above
        }
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = readFile(child.out);
        result.err = readFile(child.err);
        return result;
    }

    // Ends a child that would not end by itself.
    ChildRun end(const Child& child) {
        if (child.pid >= 0) ::kill(child.pid, SIGKILL);
        return finish(child);
    }

    // Waits until the child's standard error (or output) holds the text; false at the
    // deadline.
    static bool waitForErr(const Child& child, const std::string& text,
                           std::chrono::milliseconds patience = kChildPatience) {
        return waitForText(child.err, text, patience);
    }
    static bool waitForOut(const Child& child, const std::string& text,
                           std::chrono::milliseconds patience = kChildPatience) {
        return waitForText(child.out, text, patience);
    }
    static bool waitForText(const fs::path& file, const std::string& text, std::chrono::milliseconds patience) {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (readFile(file).find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // polling, bounded above
        }
        return true;
    }

    // Runs vordash with the words in the working directory to its end.
    ChildRun run(const std::vector<std::string>& words) { return finish(spawn(words, "run")); }

    std::string searchPath() const { return jobs.string() + "/"; }

    fs::path root;
    fs::path work;
    fs::path jobs;

private:
    std::vector<pid_t> started_;
};

} // namespace Karsto::entry_test

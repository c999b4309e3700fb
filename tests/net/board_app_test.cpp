#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "net_support.h"
#include "tonvisor/version.h"

extern char** environ;

namespace tonvisor {
namespace {

using namespace std::chrono_literals;
using namespace testing;

// The built tonvisor-board, started with the given arguments, its standard output and error
// on pipes. Killed at the end if still running.
class BoardProcess {
 public:
  explicit BoardProcess(std::vector<std::string> arguments) {
    int pipes[2][2];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int i = 0; i < 2; ++i) {
      if (::pipe2(pipes[i], O_CLOEXEC) != 0) return;
      posix_spawn_file_actions_adddup2(&actions, pipes[i][1], STDOUT_FILENO + i);
    }
    arguments.insert(arguments.begin(), TONVISOR_BOARD_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; i < 2; ++i) {
      ::close(pipes[i][1]);
      m_fd[i] = pipes[i][0];
    }
  }
  ~BoardProcess() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
    for (const int fd : m_fd) ::close(fd);
  }
  BoardProcess(const BoardProcess&) = delete;
  BoardProcess& operator=(const BoardProcess&) = delete;

  bool started() const { return m_pid > 0; }
  void signal(int number) { ::kill(m_pid, number); }

  // The next line of standard output (without its line end), or what came before the time ran out.
  std::string readLine(Millis timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    std::string line;
    for (;;) {
      const Bytes next = ReadUntilClosed(m_fd[0], Until(deadline), 1).bytes;
      if (next.empty() || next[0] == '\n') return line;
      line += static_cast<char>(next[0]);
    }
  }

  // Collects all remaining output, waits for the program to end and returns its exit code, or
  // -1 when it did not end in time or ended on a signal.
  int wait(Millis timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    for (int i = 0; i < 2; ++i) {
      const Bytes rest = ReadUntilClosed(m_fd[i], Until(deadline)).bytes;
      m_text[i].append(rest.begin(), rest.end());
    }
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) != m_pid) {
      if (SteadyClock::now() >= deadline) return -1;
      std::this_thread::sleep_for(5ms);
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  const std::string& output() const { return m_text[0]; }
  const std::string& errors() const { return m_text[1]; }

 private:
  pid_t m_pid = -1;
  int m_fd[2] = {-1, -1};
  std::string m_text[2];
};

TEST(BoardProgram, ServesPresetRegistersAndWritesThenStopsCleanlyOnSigterm) {
  BoardProcess board({"--port", "0", "--preset", "0x0002=A011", "--preset=10=0x00ff", "--verbose"});
  ASSERT_TRUE(board.started());
  const std::string banner = board.readLine(10s);
  const std::string prefix = "tonvisor-board: listening on 127.0.0.1:";
  ASSERT_EQ(banner.rfind(prefix, 0), 0u) << banner;
  const int port = std::stoi(banner.substr(prefix.size()));  // the port bound, never the 0 asked for

  EthernetClient client(static_cast<std::uint32_t>(port), 3000ms);
  std::uint16_t chipId = 0;
  std::uint16_t preset = 0;
  EXPECT_TRUE(client.read(0x0002, chipId));
  EXPECT_TRUE(client.read(0x0010, preset));
  EXPECT_TRUE(client.writeReadsBack(0x0024, 0xABCD));
  EXPECT_EQ(chipId, 0xA011);
  EXPECT_EQ(preset, 0x00FF);

  EXPECT_EQ(board.readLine(2s), "read  0x0002 -> 0xA011");
  EXPECT_EQ(board.readLine(2s), "read  0x0010 -> 0x00FF");
  EXPECT_EQ(board.readLine(2s), "write 0x0024 <- 0xABCD");
  EXPECT_EQ(board.readLine(2s), "read  0x0024 -> 0xABCD");

  board.signal(SIGTERM);
  EXPECT_EQ(board.wait(5s), 0) << board.errors();
  EXPECT_NE(board.output().find("stopped on SIGTERM after 4 register accesses"), std::string::npos) << board.output();
}

TEST(BoardProgram, BadOptionsAreUsageErrors) {
  const std::vector<std::vector<std::string>> bad = {
      {"--preset", "0x0002"},   {"--preset", "2=0x10000"}, {"--preset", "0x=1"},     {"--preset", "2=12g"},
      {"--preset"},             {"--port", "65536"},       {"--port", "-1"},         {"--port", "3O"},
      {"--listen", "127.0.1"},  {"--listen", "localhost"}, {"--bogus"},              {"--verbose=yes"},
      {"--version=1"},
  };
  for (const auto& arguments : bad) {
    SCOPED_TRACE(arguments[0] + (arguments.size() > 1 ? " " + arguments[1] : ""));
    BoardProcess board(arguments);
    ASSERT_TRUE(board.started());
    EXPECT_EQ(board.wait(10s), 2);
    // The first line names the option at fault; the usage follows.
    const std::string problem = board.errors().substr(0, board.errors().find('\n'));
    EXPECT_NE(problem.find(arguments[0].substr(0, arguments[0].find('='))), std::string::npos) << board.errors();
    EXPECT_NE(board.errors().find("\n\nUsage: tonvisor-board"), std::string::npos);
  }

  BoardProcess help({"--help"});
  EXPECT_EQ(help.wait(10s), 0);
  EXPECT_EQ(help.output().rfind("Usage: tonvisor-board", 0), 0u);

  BoardProcess version({"--version"});
  EXPECT_EQ(version.wait(10s), 0);
  EXPECT_EQ(version.output(), std::string("tonvisor-board ") + kVersion + "\n");
}

TEST(BoardProgram, APortThatCannotBeOpenedIsNamedAndFails) {
  std::uint16_t taken = 0;
  const int listening = BindLoopback(taken);
  ::listen(listening, 1);
  const std::string port = std::to_string(taken);

  BoardProcess board({"--port", port});
  ASSERT_TRUE(board.started());
  EXPECT_EQ(board.wait(10s), 1);
  EXPECT_NE(board.errors().find("--port " + port + ": cannot listen on 127.0.0.1:" + port), std::string::npos)
      << board.errors();
  EXPECT_EQ(board.output(), "");
  ::close(listening);
}

}  // namespace
}  // namespace tonvisor

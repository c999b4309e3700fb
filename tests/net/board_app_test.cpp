#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "link/ethernet_transport.h"
#include "net_support.h"
#include "sim/board_server.h"
#include "sim/chip_model.h"
#include "support/recording_messenger.h"

extern char** environ;

namespace tonvisor {
namespace {

using namespace std::chrono_literals;

// The built tonvisor-board, started with the given arguments, its standard output and error
// on pipes. Killed at the end if still running.
class BoardProcess {
 public:
  explicit BoardProcess(const std::vector<std::string>& arguments) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<std::string> all{TONVISOR_BOARD_PROGRAM};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, all[0].c_str(), &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    m_out = out[0];
    m_err = err[0];
  }
  ~BoardProcess() {
    if (m_pid > 0 && !m_exited) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) ::close(m_out);
    if (m_err >= 0) ::close(m_err);
  }
  BoardProcess(const BoardProcess&) = delete;
  BoardProcess& operator=(const BoardProcess&) = delete;

  bool started() const { return m_pid > 0; }
  void signal(int number) { ::kill(m_pid, number); }

  // The next line of standard output (without its line end), or what came before the time ran out.
  std::string readLine(std::chrono::milliseconds timeout) {
    const auto deadline = testing::SteadyClock::now() + timeout;
    for (;;) {
      if (const auto end = m_outText.find('\n'); end != std::string::npos) {
        std::string line = m_outText.substr(0, end);
        m_outText.erase(0, end + 1);
        return line;
      }
      if (!readSome(m_out, m_outText, deadline)) return m_outText;
    }
  }

  // Waits for the program to end and returns its exit code, or -1 when it did not end in
  // time or ended on a signal. Collects all remaining output.
  int wait(std::chrono::milliseconds timeout) {
    const auto deadline = testing::SteadyClock::now() + timeout;
    while (readSome(m_out, m_outText, deadline)) {
    }
    while (readSome(m_err, m_errText, deadline)) {
    }
    for (;;) {
      int status = 0;
      if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_exited = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      if (testing::SteadyClock::now() >= deadline) return -1;
      std::this_thread::sleep_for(5ms);
    }
  }

  const std::string& output() const { return m_outText; }
  const std::string& errors() const { return m_errText; }

 private:
  // Appends what one read brings; false at the end of the stream or when the time is up.
  static bool readSome(int fd, std::string& text, testing::SteadyClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - testing::SteadyClock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[512];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    text.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  pid_t m_pid = -1;
  int m_out = -1;
  int m_err = -1;
  bool m_exited = false;
  std::string m_outText;
  std::string m_errText;
};

TEST(BoardProgram, ServesPresetRegistersAndWritesThenStopsCleanlyOnSigterm) {
  BoardProcess board({"--port", "0", "--preset", "0x0002=A011", "--preset=10=0x00ff", "--verbose"});
  ASSERT_TRUE(board.started());
  const std::string banner = board.readLine(10s);
  const std::string prefix = "tonvisor-board: listening on 127.0.0.1:";
  ASSERT_EQ(banner.rfind(prefix, 0), 0u) << banner;
  const int port = std::stoi(banner.substr(prefix.size()));
  ASSERT_GT(port, 0);

  testing::RecordingMessenger messages;
  WriteLog log(messages);
  LinkSettings settings;
  settings.ethernetAddress = "127.0.0.1";
  settings.ethernetPort = static_cast<std::uint32_t>(port);
  EthernetOptions options;
  options.pause = [](std::chrono::milliseconds) {};
  EthernetTransport transport(log, messages, settings, options);
  std::uint16_t chipId = 0;
  std::uint16_t preset = 0;
  std::uint16_t written = 0;
  EXPECT_TRUE(transport.EthernetReadRegister(0x0002, &chipId));
  EXPECT_TRUE(transport.EthernetReadRegister(0x0010, &preset));
  transport.EthernetWriteRegister(0x0024, 0xABCD);
  EXPECT_TRUE(transport.EthernetReadRegister(0x0024, &written));
  EXPECT_EQ(chipId, 0xA011);
  EXPECT_EQ(preset, 0x00FF);
  EXPECT_EQ(written, 0xABCD);
  EXPECT_TRUE(messages.messages.empty());

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
  };
  for (const auto& arguments : bad) {
    std::string shown;
    for (const auto& a : arguments) shown += a + " ";
    SCOPED_TRACE(shown);
    BoardProcess board(arguments);
    ASSERT_TRUE(board.started());
    EXPECT_EQ(board.wait(10s), 2);
    EXPECT_NE(board.errors().find(arguments[0].substr(0, arguments[0].find('='))), std::string::npos) << board.errors();
    EXPECT_NE(board.errors().find("Usage: tonvisor-board"), std::string::npos);
  }

  BoardProcess help({"--help"});
  EXPECT_EQ(help.wait(10s), 0);
  EXPECT_EQ(help.output().rfind("Usage: tonvisor-board", 0), 0u);
}

TEST(BoardProgram, APortThatCannotBeOpenedIsNamedAndFails) {
  ChipModel chip;
  BoardServer taken(chip);
  ASSERT_FALSE(taken.start());
  const std::string port = std::to_string(taken.port());

  BoardProcess board({"--port", port});
  ASSERT_TRUE(board.started());
  EXPECT_EQ(board.wait(10s), 1);
  EXPECT_NE(board.errors().find("--port " + port + ": cannot listen on 127.0.0.1:" + port), std::string::npos)
      << board.errors();
  EXPECT_EQ(board.output(), "");
}

}  // namespace
}  // namespace tonvisor

// The child runs with LC_ALL set and nothing else changed; its output is read through a
// pipe (standard output) and a file or a pseudo-terminal (standard error).
#include "dump_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "temp_hive.h"

extern char** environ;

namespace vesk::dump::test {
namespace {

void replace_all(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::string readable_reg(const std::string& out) {
  if (out.compare(0, 2, "\xFF\xFE") != 0) return out;
  std::string text;
  for (std::size_t i = 2; i + 1 < out.size(); i += 2) {
    std::uint32_t c = static_cast<unsigned char>(out[i]) | static_cast<unsigned char>(out[i + 1]) << 8;
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < out.size()) {
      const std::uint32_t low =
          static_cast<unsigned char>(out[i + 2]) | static_cast<unsigned char>(out[i + 3]) << 8;
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    if (c == '\r') continue;  // CRLF; the writer puts no other CR into a line
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else if (c < 0x800) {
      text += static_cast<char>(0xC0 | c >> 6);
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      text += static_cast<char>(0xE0 | c >> 12);
      text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | c >> 18);
      text += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      text += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

Dumped dump_path(const std::string& path, const Options& options) {
  std::ostringstream out;
  std::ostringstream err;
  Dumped d;
  d.status = dump_file(path, options, out, err);
  d.raw = out.str();
  d.out = readable_reg(d.raw);
  d.err = err.str();
  replace_all(d.err, path, "HIVE");
  return d;
}

Dumped dump_bytes(const Bytes& hive, const Options& options) {
  vesk::test::TempHive file(hive);
  return dump_path(file.path(), options);
}

Bytes unreadable_parts() {
  using namespace vesk::test;
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  b.add_value(root, std::string("a\0b\0", 4), kTypeDword, le32(1), 0);  // UTF-16 "ab"
  const KeyRef a = b.add_key("A", root);
  b.add_key("B", a);
  b.add_key("C", a);
  const KeyRef u = b.add_key(std::string("U\0n\0", 4), root, 0x0000);  // UTF-16 "Un"
  b.add_value(u, "x", kTypeDword, le32(2));
  b.poke_u16(b.subkey_list(a).contents, 0x686C);  // "lh"
  return b.bytes();
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing " + path + ">";
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

Dumped run_vesk_dump(const ToolRun& run) {
  std::unique_ptr<vesk::test::TempHive> file;
  if (run.hive != nullptr) file = std::make_unique<vesk::test::TempHive>(*run.hive);
  std::vector<std::string> args = {VESK_DUMP_PATH};
  for (std::string a : run.args) {
    if (file && a == "HIVE") a = file->path();
    args.push_back(a);
  }
  std::vector<std::string> env = {std::string("LC_ALL=") + run.locale};
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "LC_ALL=", 7) != 0) env.emplace_back(*e);
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  int out_pipe[2];
  if (pipe(out_pipe) != 0) return {};
  const std::string err_path = vesk::test::temp_folder() + "/vesk-dump-err-" +
                               std::to_string(getpid()) + ".txt";
  int err_fd = -1;
  int terminal = -1;
  if (run.err_to == ErrTo::kTerminal) {
    terminal = posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) return {};
    err_fd = open(ptsname(terminal), O_RDWR | O_NOCTTY);
  } else {
    err_fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  if (err_fd < 0) return {};

  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out_pipe[1], STDOUT_FILENO);
    dup2(err_fd, STDERR_FILENO);
    close(out_pipe[0]);
    close(out_pipe[1]);
    close(err_fd);
    if (terminal >= 0) close(terminal);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_fd);

  Dumped d;
  if (run.stall_seconds > 0) {
    std::this_thread::sleep_for(std::chrono::duration<double>(run.stall_seconds));
  }
  const double deadline = now() + run.limit_seconds;
  bool out_open = true;
  char buffer[65536];
  while (out_open) {
    if (now() > deadline) {
      kill(pid, SIGKILL);
      break;
    }
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {terminal, POLLIN, 0}};
    if (poll(fds, terminal >= 0 ? 2 : 1, 100) <= 0) continue;
    if ((fds[0].revents & (POLLIN | POLLHUP)) != 0) {
      const ssize_t n = read(out_pipe[0], buffer, sizeof buffer);
      if (n <= 0) out_open = false;
      else d.out.append(buffer, static_cast<std::size_t>(n));
    }
    if (terminal >= 0 && (fds[1].revents & POLLIN) != 0) {
      const ssize_t n = read(terminal, buffer, sizeof buffer);
      if (n > 0) d.err.append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(out_pipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (terminal >= 0) {
    // What the child wrote last is still waiting in the terminal.
    fcntl(terminal, F_SETFL, O_NONBLOCK);
    ssize_t n;
    while ((n = read(terminal, buffer, sizeof buffer)) > 0) d.err.append(buffer, static_cast<std::size_t>(n));
    close(terminal);
  } else {
    d.err = read_file(err_path);
    std::remove(err_path.c_str());
  }
  d.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  d.raw = d.out;
  d.out = readable_reg(d.raw);
  if (file) {
    replace_all(d.err, file->path(), "HIVE");
  }
  return d;
}

void set_last_written(vesk::test::HiveBuilder& b, const vesk::test::KeyRef& key,
                      std::uint64_t filetime) {
  constexpr std::uint32_t kLastWrittenAt = 4;  // in the key node, after signature and flags
  b.poke_u32(key.contents + kLastWrittenAt, static_cast<std::uint32_t>(filetime));
  b.poke_u32(key.contents + kLastWrittenAt + 4, static_cast<std::uint32_t>(filetime >> 32));
}

}  // namespace vesk::dump::test

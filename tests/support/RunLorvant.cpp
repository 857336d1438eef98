#include "support/RunLorvant.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <regex>

#include <gtest/gtest.h>

#include "support/TestEnv.h"

extern char** environ;

namespace lorvant::test {

namespace {

std::string Run(const std::vector<std::string>& args, int* exit_code, const std::string& cwd,
                long* peak_kib) {
  const std::string out_path = test::MakeTempDir("run") + "/output";
  const int out_fd = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  EXPECT_GE(out_fd, 0);
  std::vector<std::string> words = {LORVANT_EXE};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::dup2(out_fd, 1);
    ::dup2(out_fd, 2);
    ::execve(LORVANT_EXE, argv.data(), environ);
    ::_exit(127);
  }
  ::close(out_fd);
  int status = 0;
  struct rusage usage = {};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  if (peak_kib != nullptr) *peak_kib = usage.ru_maxrss;
  *exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::string output = test::ReadBytes(out_path);
  EXPECT_EQ(output.find("Sanitizer"), std::string::npos) << output;
  EXPECT_EQ(output.find("runtime error"), std::string::npos) << output;
  return output;
}

}  // namespace

std::string RunLorvant(const std::vector<std::string>& args, int* exit_code,
                       const std::string& cwd) {
  return Run(args, exit_code, cwd, nullptr);
}

std::string RunLorvantMeasured(const std::vector<std::string>& args, int* exit_code,
                               long* peak_kib) {
  return Run(args, exit_code, "", peak_kib);
}

std::string TaskText(const std::string& source, const std::string& dest,
                     const std::string& max_lines) {
  return "[Split]\r\nSourceFile=" + source + "\r\nDestFolder=" + dest +
         "\r\nMaxLines=" + max_lines + "\r\n";
}

void WriteTask(const std::string& task, const std::string& source, const std::string& dest,
               const std::string& max_lines) {
  test::WriteBytes(task, TaskText(source, dest, max_lines));
}

std::vector<std::string> LogEntries(const std::string& log_file) {
  static const std::regex stamp(R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}:\d{3}\] )");
  const std::string text = test::ReadBytes(log_file);
  std::vector<std::string> entries;
  if (text.empty()) return entries;
  EXPECT_TRUE(text.ends_with("\r\n")) << text;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (line.size() >= 26 && std::regex_match(line.substr(0, 26), stamp)) {
      entries.push_back(line.substr(26));
    } else if (entries.empty()) {
      ADD_FAILURE() << "log does not start with a time stamp: " << line;
      entries.push_back(line);
    } else {
      entries.back() += "\r\n" + line;
    }
    start = end + 2;
  }
  return entries;
}

}  // namespace lorvant::test

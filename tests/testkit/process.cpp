// RunProcess and RunInChildren: child processes for the end-to-end and concurrency tests.
#include "tests/testkit/process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace picsheet::testkit {

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& cwd, const std::function<void(pid_t)>& whileRunning) {
  int outPipe[2];
  int errPipe[2];
  if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(127);
    const int devNull = ::open("/dev/null", O_RDONLY);
    ::dup2(devNull, 0);
    ::dup2(outPipe[1], 1);
    ::dup2(errPipe[1], 2);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  std::thread watcher;
  if (whileRunning) watcher = std::thread([&whileRunning, pid] { whileRunning(pid); });

  ProcessResult result;
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[8192];
      const ssize_t count = ::read(fds[i].fd, buffer, sizeof buffer);
      if (count > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(count));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  if (watcher.joinable()) watcher.join();
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.peakKb = usage.ru_maxrss;
  const auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
  result.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::optional<ProcessResult> RunInMemoryContainer(std::uint64_t limitBytes,
                                                  const std::string& program,
                                                  const std::vector<std::string>& args) {
  // The memory line of /proc/self/cgroup names the group under a v1 hierarchy, the "0::" line
  // under v2; a group made below it with a limit written is the container.
  std::ifstream self("/proc/self/cgroup");
  const std::string name = "/picsheet-test-" + std::to_string(::getpid());
  for (std::string line; std::getline(self, line);) {
    const std::size_t first = line.find(':');
    const std::size_t second = line.find(':', first + 1);
    const std::string kind = line.substr(first + 1, second - first - 1);
    if (kind != "memory" && !kind.empty()) continue;
    const std::string group = (kind.empty() ? "/sys/fs/cgroup" : "/sys/fs/cgroup/memory") +
                              line.substr(second + 1) + name;
    if (::mkdir(group.c_str(), 0755) != 0) continue;
    std::ofstream(group + (kind.empty() ? "/memory.max" : "/memory.limit_in_bytes")) << limitBytes;
    std::ofstream(group + "/memory.swap.max") << 0;  // v2 only; v1 counts swap apart
    std::optional<ProcessResult> result;
    std::ifstream limit(group + (kind.empty() ? "/memory.max" : "/memory.limit_in_bytes"));
    std::uint64_t written = 0;
    if (limit >> written && written <= limitBytes) {
      std::vector<std::string> shellArgs = {
          "-c", "echo $$ > " + group + "/cgroup.procs && exec \"$0\" \"$@\"", program};
      shellArgs.insert(shellArgs.end(), args.begin(), args.end());
      result = RunProcess("/bin/sh", shellArgs);
    }
    ::rmdir(group.c_str());
    if (result) return result;
  }
  return std::nullopt;
}

std::vector<std::string> RunInChildren(int count, const std::function<std::string(int)>& check) {
  struct Child {
    pid_t pid;
    int answer;
  };
  std::vector<Child> children;
  for (int i = 0; i < count; ++i) {
    int answerPipe[2];
    if (::pipe(answerPipe) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
      ::close(answerPipe[0]);
      std::string answer;
      try {
        answer = check(i);
      } catch (const std::exception& e) {
        answer = std::string("threw: ") + e.what();
      }
      // Short enough for the pipe's buffer: the parent reads it only after the child ended.
      answer.resize(std::min<std::size_t>(answer.size(), 4096));
      const ssize_t written = ::write(answerPipe[1], answer.data(), answer.size());
      ::_exit(written == static_cast<ssize_t>(answer.size()) && answer.empty() ? 0 : 1);
    }
    ::close(answerPipe[1]);
    children.push_back({pid, answerPipe[0]});
  }
  std::vector<std::string> answers;
  for (const Child& child : children) {
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    std::string answer;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(child.answer, buffer, sizeof buffer)) > 0)
      answer.append(buffer, static_cast<std::size_t>(count));
    ::close(child.answer);
    if (WIFSIGNALED(status)) {
      answer = "killed by signal " + std::to_string(WTERMSIG(status));
    } else if (answer.empty() && WEXITSTATUS(status) != 0) {
      answer = "exited with " + std::to_string(WEXITSTATUS(status));
    }
    answers.push_back(answer);
  }
  return answers;
}

}  // namespace picsheet::testkit

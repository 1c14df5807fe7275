// Runs a command with its standard output and error sent to /dev/null and prints its wall time
// and CPU time (user and system) in seconds and its peak resident memory in KiB. A separate small
// process, so that the peak memory reported is the command's own, not that of the script driving
// the benchmark.
//
//   vorlatic-measure [--interrupt-after SECONDS] COMMAND [ARGS...]
//       ->   "<wall seconds> <cpu seconds> <KiB>"
//
// With --interrupt-after, the command is sent SIGINT after that many seconds (an endless input).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  double interruptAfter = 0;
  if (argc > 3 && std::strcmp(argv[1], "--interrupt-after") == 0) {
    interruptAfter = std::atof(argv[2]);
    argv += 2;
    argc -= 2;
  }
  if (argc < 2) {
    std::fprintf(stderr, "usage: vorlatic-measure [--interrupt-after SECONDS] COMMAND [ARGS...]\n");
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execv(argv[1], argv + 1);
    _exit(127);
  }
  if (child > 0 && interruptAfter > 0) {
    usleep(useconds_t(interruptAfter * 1e6));
    kill(child, SIGINT);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) < 0) return 2;
  std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  std::printf("%.6f %.6f %ld\n", wall.count(), seconds(usage.ru_utime) + seconds(usage.ru_stime),
              usage.ru_maxrss);
  if (WIFSIGNALED(status) && interruptAfter > 0 && WTERMSIG(status) == SIGINT) return 0;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}

/* Runs a command with its output sent to /dev/null and prints one line:
 * the wall-clock seconds, the peak resident memory in KiB, the exit status
 * and the processor seconds (user and system) of the command.
 *
 * Usage: timed_run COMMAND [ARG...]
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char **argv) {
  struct timespec t0, t1;
  struct rusage usage;
  int status = 0;
  pid_t pid;

  if (argc < 2) {
    fprintf(stderr, "usage: %s COMMAND [ARG...]\n", argv[0]);
    return 2;
  }
  clock_gettime(CLOCK_MONOTONIC, &t0);
  pid = fork();
  if (pid < 0) {
    perror("fork");
    return 2;
  }
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      close(null);
    }
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  if (wait4(pid, &status, 0, &usage) < 0) {
    perror("wait4");
    return 2;
  }
  clock_gettime(CLOCK_MONOTONIC, &t1);
  printf("%.6f %ld %d %.6f\n",
         (double)(t1.tv_sec - t0.tv_sec) + 1e-9 * (double)(t1.tv_nsec - t0.tv_nsec),
         usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
         (double)(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
             1e-6 * (double)(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec));
  return 0;
}

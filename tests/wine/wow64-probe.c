/* wow64-probe: tells whether this kernel runs the 32-bit code that Wine's
 * wow64 mode needs inside a 64-bit process: the i386 system call gate
 * (int 0x80, which Wine uses for its 32-bit %fs selector) and the 32-bit
 * user code segment 0x23. Some kernels refuse both even where their config
 * says CONFIG_IA32_EMULATION=y, so only trying tells. Some raise a signal a
 * handler can catch; others kill the process outright (a fault in 32-bit
 * mode may leave no frame to deliver it on), so each step runs in a child
 * of its own and its end is read from outside.
 * Exit 0: both work. Exit 1: refused; the first line says which step and
 * how it ended. */
#define _GNU_SOURCE
#include <setjmp.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

static sigjmp_buf refused;

static void on_fault(int sig) { siglongjmp(refused, sig); }

/* Each step returns 0 when it ran, else says why not and returns 1. */
static int i386_getpid(void) {
  long result = 20; /* __NR_getpid of the i386 table */
  __asm__ volatile("int $0x80" : "+a"(result) : : "memory");
  if (result > 0) return 0;
  puts("refused: the i386 system call gate (int 0x80) fails");
  return 1;
}

/* Far-returns into 32-bit code in segment 0x23, which loads a marker and
 * jumps back to the 64-bit segment 0x33. */
static int round_trip_through_0x23(void) {
  unsigned char *page = mmap(NULL, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (page == MAP_FAILED) {
    puts("refused: no executable page below 4 GB");
    return 1;
  }
  static const unsigned char code32[] = {
      0xB8, 0x5A, 0xA5, 0x32, 0x00,             /* mov eax, 0x0032A55A */
      0xEA, 0,    0,    0,    0,    0x33, 0x00, /* jmp far 0x33:page+0x40 */
  };
  static const unsigned char code64[] = {0xFF, 0x25, 0, 0, 0, 0}; /* jmp [rip] */
  uint32_t back64 = (uint32_t)(uintptr_t)(page + 0x40);
  memcpy(page, code32, sizeof code32);
  memcpy(page + 6, &back64, sizeof back64);
  memcpy(page + 0x40, code64, sizeof code64);
  uint64_t marker = 0;
  __asm__ volatile(
      "sub $128, %%rsp\n\t" /* keep clear of the red zone */
      "lea 1f(%%rip), %%rcx\n\t"
      "mov %%rcx, 0x46(%[page])\n\t"
      "pushq $0x23\n\t"
      "pushq %[page]\n\t"
      "lretq\n"
      "1:\n\t"
      "add $128, %%rsp"
      : "=a"(marker)
      : [page] "r"(page), "a"(0)
      : "rcx", "memory");
  if ((uint32_t)marker == 0x0032A55A) return 0;
  puts("refused: 32-bit code in segment 0x23 did not run");
  return 1;
}

/* Runs `step` in a child; 1 when it ran, else 0 with the reason printed. */
static int step_runs(const char *what, int (*step)(void)) {
  fflush(stdout);
  pid_t child = fork();
  if (child == 0) {
    signal(SIGSEGV, on_fault);
    signal(SIGBUS, on_fault);
    signal(SIGILL, on_fault);
    int code = 1;
    if (sigsetjmp(refused, 1))
      printf("refused: %s faults\n", what);
    else
      code = step();
    fflush(stdout); /* _exit does not */
    _exit(code);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) {
    printf("refused: %s could not be tried in a process of its own\n", what);
    return 0;
  }
  if (WIFSIGNALED(status)) {
    int sig = WTERMSIG(status);
    printf("refused: %s killed the probe (signal %d, %s)\n", what, sig, strsignal(sig));
    return 0;
  }
  return WEXITSTATUS(status) == 0;
}

int main(void) {
  if (!step_runs("the i386 system call gate (int 0x80)", i386_getpid)) return 1;
  if (!step_runs("32-bit code in segment 0x23", round_trip_through_0x23)) return 1;
  puts("allowed: int 0x80 and 32-bit code in segment 0x23 run");
  return 0;
}

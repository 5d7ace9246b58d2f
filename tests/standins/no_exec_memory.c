/* Runs a program where memory can never be made executable after it was mapped, nor mapped
 * executable and shared (a second, executable view of writable memory), as under SELinux's
 * execmem denial or PaX: mprotect with PROT_EXEC and mmap with PROT_EXEC and MAP_SHARED fail with
 * EPERM (the loader maps libraries executable and private, which stays allowed). Linux x86-64.
 *   no_exec_memory PROGRAM [ARGS...] */
#include <errno.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#define ARG_LOW(n) offsetof(struct seccomp_data, args[n])

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: no_exec_memory PROGRAM [ARGS...]\n");
    return 64;
  }
  struct sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_mmap, 4, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_mprotect, 1, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_pkey_mprotect, 0, 6),
      /* mprotect: refused when it asks for PROT_EXEC */
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, ARG_LOW(2)),
      BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, PROT_EXEC, 5, 4),
      /* mmap: refused when it asks for PROT_EXEC and MAP_SHARED */
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, ARG_LOW(2)),
      BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, PROT_EXEC, 0, 2),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, ARG_LOW(3)),
      BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, MAP_SHARED, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
  };
  struct sock_fprog program = {sizeof filter / sizeof filter[0], filter};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
    perror("no_exec_memory: seccomp");
    return 70;
  }
  execv(argv[1], argv + 1);
  perror("no_exec_memory: exec");
  return 70;
}

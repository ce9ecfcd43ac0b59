#include "decoder/Sandbox.h"

#include <fcntl.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace pelumir {

namespace {

void Note(std::string& why, const std::string& what, int error) {
    if (!why.empty()) why += "; ";
    why += what + ": " + std::strerror(error);
}

// Calls allowed whatever their arguments.
constexpr int kFree[] = {
    // What it was handed: the file's descriptor, its mapping, the socket.
    SCMP_SYS(read), SCMP_SYS(pread64), SCMP_SYS(readv), SCMP_SYS(lseek), SCMP_SYS(fstat), SCMP_SYS(close),
    SCMP_SYS(recvmsg), SCMP_SYS(recvfrom), SCMP_SYS(poll), SCMP_SYS(ppoll),
    // Memory; mmap, mprotect and madvise below.
    SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(brk),
    // Frames in shared memory, sized before they are mapped.
    SCMP_SYS(memfd_create), SCMP_SYS(ftruncate),
    // The threads libde265 and dav1d start, and their locks; glibc installs
    // its cancellation handler when the first thread starts, and dav1d asks
    // which processors it may use (so does glibc's processor count once it
    // cannot read /sys).
    SCMP_SYS(futex), SCMP_SYS(set_robust_list), SCMP_SYS(rseq), SCMP_SYS(sched_yield),
    SCMP_SYS(sched_getaffinity), SCMP_SYS(gettid), SCMP_SYS(getpid), SCMP_SYS(rt_sigprocmask),
    SCMP_SYS(rt_sigaction), SCMP_SYS(rt_sigreturn), SCMP_SYS(sigaltstack), SCMP_SYS(restart_syscall),
    // Time, and the randomness malloc and the C++ library ask for.
    SCMP_SYS(clock_gettime), SCMP_SYS(clock_nanosleep), SCMP_SYS(nanosleep), SCMP_SYS(gettimeofday),
    SCMP_SYS(getrandom),
    SCMP_SYS(exit), SCMP_SYS(exit_group),
};

// Namespace flags: a thread never needs one, and with CLONE_THREAD the
// kernel refuses most of them anyway.
constexpr uint64_t kNewNamespaces = CLONE_NEWNS | CLONE_NEWCGROUP | CLONE_NEWUTS | CLONE_NEWIPC | CLONE_NEWUSER |
                                    CLONE_NEWPID | CLONE_NEWNET;

class Filter {
public:
    explicit Filter(std::string& why) : why_(why), ctx_(seccomp_init(SCMP_ACT_ERRNO(EPERM))) {
        if (ctx_ == nullptr) Fail("seccomp_init", ENOMEM);
    }
    ~Filter() { seccomp_release(ctx_); }
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    template <class... Cmp>
    void Rule(uint32_t action, int call, Cmp... compare) {
        if (!ok_) return;
        const int rc = seccomp_rule_add(ctx_, action, call, sizeof...(Cmp), compare...);
        if (rc < 0) {
            char* name = seccomp_syscall_resolve_num_arch(SCMP_ARCH_NATIVE, call);
            Fail(std::string("seccomp rule for ") + (name != nullptr ? name : std::to_string(call)), -rc);
            std::free(name);
        }
    }
    template <class... Cmp>
    void Allow(int call, Cmp... compare) {
        Rule(SCMP_ACT_ALLOW, call, compare...);
    }
    void SyncThreads() {
        const int rc = ok_ ? seccomp_attr_set(ctx_, SCMP_FLTATR_CTL_TSYNC, 1) : 0;
        if (rc < 0) Fail("seccomp thread sync", -rc);
    }
    bool Load() {
        if (!ok_) return false;
        const int rc = seccomp_load(ctx_);
        if (rc < 0) Fail("seccomp_load", -rc);
        return ok_;
    }

private:
    void Fail(const std::string& what, int error) {
        ok_ = false;
        Note(why_, what, error);
    }

    std::string& why_;
    scmp_filter_ctx ctx_;
    bool ok_ = true;
};

bool LoadFilter(int socketFd, std::string& why) {
    Filter f(why);
    // Threads a library started before now are held too.
    f.SyncThreads();
    for (int call : kFree) f.Allow(call);

    // glibc's fstat is newfstatat(fd, "", AT_EMPTY_PATH), Qt's a statx of
    // the same form: allowed with that flag only. The filter cannot read
    // the path, so one given beside the flag can still be looked at (never
    // opened).
    f.Allow(SCMP_SYS(newfstatat), SCMP_A3_32(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH));
    f.Allow(SCMP_SYS(statx), SCMP_A2_32(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH));

    // No memory is made executable: no decoder generates code.
    f.Allow(SCMP_SYS(mmap), SCMP_A2_32(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
    f.Allow(SCMP_SYS(mprotect), SCMP_A2_32(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
    // Advice on its own pages only: a process running as root could
    // otherwise poison or soft-offline pages shared with others.
    for (int advice : {MADV_NORMAL, MADV_RANDOM, MADV_SEQUENTIAL, MADV_WILLNEED, MADV_DONTNEED, MADV_FREE,
                       MADV_HUGEPAGE, MADV_NOHUGEPAGE, MADV_DONTDUMP, MADV_DODUMP})
        f.Allow(SCMP_SYS(madvise), SCMP_A2_32(SCMP_CMP_EQ, uint32_t(advice)));

    // Seals on a frame, and the flags stdio and the messages look at.
    for (int cmd : {F_ADD_SEALS, F_GET_SEALS, F_GETFD, F_SETFD, F_GETFL, F_SETFL})
        f.Allow(SCMP_SYS(fcntl), SCMP_A1_32(SCMP_CMP_EQ, uint32_t(cmd)));

    // Answers go out on the socket; errors (glibc's abort messages among
    // them) on standard error.
    for (int fd : {socketFd, STDERR_FILENO}) {
        if (fd < 0) continue;
        for (int call : {SCMP_SYS(write), SCMP_SYS(writev), SCMP_SYS(sendmsg), SCMP_SYS(sendto)})
            f.Allow(call, SCMP_A0_32(SCMP_CMP_EQ, uint32_t(fd)));
    }

    // Threads only: a fork, vfork or posix_spawn is a clone without
    // CLONE_THREAD. clone3 passes its flags in memory the filter cannot
    // read; ENOSYS makes glibc fall back to clone.
    f.Allow(SCMP_SYS(clone), SCMP_A0_64(SCMP_CMP_MASKED_EQ, CLONE_THREAD | kNewNamespaces, CLONE_THREAD));
    f.Rule(SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3));
    // Signals to its own threads only (raise and abort).
    f.Allow(SCMP_SYS(tgkill), SCMP_A0_32(SCMP_CMP_EQ, uint32_t(getpid())));
    return f.Load();
}

}  // namespace

bool EnterSandbox(int socketFd, uint64_t memoryCapBytes, std::string& why) {
    why.clear();
    // Also what lets an unprivileged process load a filter.
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) Note(why, "no_new_privs", errno);

    // Set before the filter, which refuses setrlimit. The hard limit too, so
    // it holds even where the filter cannot be loaded.
    if (memoryCapBytes != 0) {
        rlimit cap{};
        bool capped = getrlimit(RLIMIT_AS, &cap) == 0;
        if (capped) {
            // Never above a hard limit already lower.
            if (cap.rlim_max == RLIM_INFINITY || memoryCapBytes < cap.rlim_max) cap.rlim_max = memoryCapBytes;
            cap.rlim_cur = cap.rlim_max;
            capped = setrlimit(RLIMIT_AS, &cap) == 0;
        }
        if (!capped) Note(why, "memory cap", errno);
    }

    // A kernel built without seccomp says so here, before a filter is made.
    if (prctl(PR_GET_SECCOMP, 0, 0, 0, 0) < 0) {
        Note(why, "no seccomp in this kernel", errno);
        return false;
    }
    return LoadFilter(socketFd, why);
}

}  // namespace pelumir

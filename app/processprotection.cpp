#include "app/processprotection.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#include <sys/resource.h>
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif
#endif

void protectProcess()
{
    // Each step is best effort: a process that cannot take one still runs, as it did before.
#ifdef Q_OS_WIN
    // Looked up rather than declared: MinGW's werapi.h does not compile on its own.
    using WerSetFlagsFunction = HRESULT(WINAPI*)(DWORD);
    constexpr DWORD kNoHeap = 1; // WER_FAULT_REPORTING_FLAG_NOHEAP
    if (const HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        const auto setFlags =
            reinterpret_cast<WerSetFlagsFunction>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, "WerSetFlags")));
        if (setFlags)
            setFlags(kNoHeap);
    }
#else
    std::signal(SIGXFSZ, SIG_IGN);
    // The hard limit too, so that nothing later in the process can allow core files again.
    const struct rlimit noCoreFile = {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCoreFile);
#ifdef Q_OS_LINUX
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
#endif
}

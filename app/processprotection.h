#ifndef APP_PROCESSPROTECTION_H
#define APP_PROCESSPROTECTION_H

// What the process sets up for itself before anything else runs, because it holds private keys and passwords and
// writes files that must not be left half done:
// - A write beyond the file-size limit (ulimit -f) fails with EFBIG and is reported like a full disk, instead of
//   ending the process with SIGXFSZ half way through replacing the certificate files or at the first log line.
// - No core file is written, and on Linux the process is not dumpable, so other processes of the same user cannot
//   attach to it (ptrace) or read its memory, as password managers do.
// - On Windows, Windows Error Reporting leaves the heap, where the keys and passwords live, out of its crash
//   reports.
void protectProcess();

#endif // APP_PROCESSPROTECTION_H

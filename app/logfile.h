#ifndef APP_LOGFILE_H
#define APP_LOGFILE_H

#include <QByteArray>

#include <mutex>

#if defined(__GNUC__) || defined(__clang__)
#define CERTUTIL_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define CERTUTIL_PRINTF_FORMAT(fmt, args)
#endif

// The process-wide diagnostic log: one timestamped line per call, appended to log/<fileName> under the
// working directory. The file is opened and closed for every line, so it may be read, rotated or deleted at
// any time; a deleted file or directory is created again by the next line. Every line is also passed to the
// debugger output (standard error outside Windows). Any thread may write: one line is written whole, and lines of
// different threads do not interleave.
class LogFile
{
public:
    // The program's log file: log/certutil_zv.txt.
    static constexpr char kFileName[] = "certutil_zv.txt";

    static LogFile* instance();

    void setFileName(const QByteArray& name);
    // printf-style; a message longer than 4095 bytes is cut at a character boundary.
    void write(const char* format, ...) CERTUTIL_PRINTF_FORMAT(2, 3);

private:
    LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // setFileName with the lock held.
    void usePath(const QByteArray& name);

    std::mutex mutex; // guards the names and the file
    QByteArray fileName;
    QByteArray filePath; // "log/" + fileName, relative to the working directory
    QByteArray prefix;   // written between timestamp and message; empty
    quint32 processId;
};

#endif // APP_LOGFILE_H

#include "app/logfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QString>

#include <cstdarg>
#include <cstdio>
#include <ctime>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace {

constexpr int kMessageCapacity = 4096;
constexpr char kLogDirectory[] = "log";

// Opens a path that holds UTF-8 for appending; fopen on Windows would read it in the ANSI code page.
std::FILE* openForAppend(const QByteArray& path)
{
#ifdef Q_OS_WIN
    return _wfopen(reinterpret_cast<const wchar_t*>(QString::fromUtf8(path).utf16()), L"a");
#else
    return std::fopen(path.constData(), "a");
#endif
}

// vsnprintf may cut a multi-byte UTF-8 character; drop its leading bytes so the line stays valid UTF-8.
int trimToCharacterBoundary(const char* text, int length)
{
    int end = length;
    int continuation = 0;
    while (end > 0 && (static_cast<unsigned char>(text[end - 1]) & 0xC0) == 0x80 && continuation < 3) {
        --end;
        ++continuation;
    }
    if (end == 0)
        return length;
    const auto lead = static_cast<unsigned char>(text[end - 1]);
    int expected = 0;
    if ((lead & 0xE0) == 0xC0)
        expected = 1;
    else if ((lead & 0xF0) == 0xE0)
        expected = 2;
    else if ((lead & 0xF8) == 0xF0)
        expected = 3;
    else
        return length; // ASCII or a stray byte: nothing to repair
    return continuation == expected ? length : end - 1;
}

void toDebuggerOutput(const QByteArray& line)
{
#ifdef Q_OS_WIN
    OutputDebugStringW(reinterpret_cast<const wchar_t*>(QString::fromUtf8(line).utf16()));
#else
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
#endif
}

} // namespace

LogFile::LogFile() : processId(static_cast<quint32>(QCoreApplication::applicationPid())) {}

LogFile* LogFile::instance()
{
    static LogFile log;
    return &log;
}

void LogFile::setFileName(const QByteArray& name)
{
    const std::lock_guard<std::mutex> locked(mutex);
    usePath(name);
}

void LogFile::usePath(const QByteArray& name)
{
    fileName = name;
    filePath = QByteArray(kLogDirectory) + '/' + fileName;
    if (std::FILE* probe = openForAppend(filePath))
        std::fclose(probe);
    else
        QDir().mkdir(QString::fromLatin1(kLogDirectory));
}

void LogFile::write(const char* format, ...)
{
    char message[kMessageCapacity];
    va_list args;
    va_start(args, format);
    const int formatted = std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    int messageLength = 0;
    if (formatted >= kMessageCapacity)
        messageLength = trimToCharacterBoundary(message, kMessageCapacity - 1);
    else if (formatted > 0)
        messageLength = formatted;

    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef Q_OS_WIN
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%d-%.2d-%.2d %.2d:%.2d:%.2d [%d] ", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(processId));

    QByteArray line;
    line.reserve(static_cast<int>(sizeof stamp) + prefix.size() + messageLength + 1);
    line.append(stamp).append(prefix).append(message, messageLength).append('\n');

    const std::lock_guard<std::mutex> locked(mutex);
    std::FILE* file = filePath.isEmpty() ? nullptr : openForAppend(filePath);
    if (!file) {
        usePath(fileName);
        file = fileName.isEmpty() ? nullptr : openForAppend(filePath);
    }
    toDebuggerOutput(line);
    if (file) {
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), file);
        std::fflush(file);
        std::fclose(file);
    }
}

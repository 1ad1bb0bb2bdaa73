#include "mail/wire/wire_stamp.h"

#include <windows.h>

#include "common/text.h"
#include "common/win_datetime.h"

namespace quillon {

wire::TextCharset SystemTextCharset()
{
    wire::TextCharset charset;
    charset.codePage = GetACP();
    charset.mimeName = wire::MimeCharsetName(charset.codePage);
    for (int b = 0x80; b < 256; ++b)
        charset.leadByte[b] = IsDBCSLeadByteEx(charset.codePage, static_cast<BYTE>(b)) != FALSE;
    return charset;
}

MessageStamp StampMessage()
{
    static LONG counter = 0;
    MessageStamp stamp;
    // One reading of the clock gives both times, and the local one is made with the bias
    // in force at this moment: a message sent just after daylight saving starts carries
    // the new offset. (FileTimeToLocalFileTime reads the system's current bias; the
    // time-zone functions would open the zone's registry data for every message.)
    FILETIME utcFile, localFile;
    GetSystemTimeAsFileTime(&utcFile);
    if (!FileTimeToLocalFileTime(&utcFile, &localFile))
        localFile = utcFile;
    SYSTEMTIME utc = {}, local = {};
    FileTimeToSystemTime(&utcFile, &utc);
    if (!FileTimeToSystemTime(&localFile, &local))
        local = utc;
    ULARGE_INTEGER u, l;
    u.LowPart = utcFile.dwLowDateTime;
    u.HighPart = utcFile.dwHighDateTime;
    l.LowPart = localFile.dwLowDateTime;
    l.HighPart = localFile.dwHighDateTime;
    const LONGLONG difference = static_cast<LONGLONG>(l.QuadPart) - static_cast<LONGLONG>(u.QuadPart);
    const LONGLONG unitsPerMinute = 600000000LL;   // 100-ns units
    stamp.utcOffsetMinutes =
        static_cast<int>((difference + (difference >= 0 ? 1 : -1) * unitsPerMinute / 2) / unitsPerMinute);
    stamp.localTime = FromSystemTime(local);
    const LONG number = InterlockedIncrement(&counter);
    stamp.uniqueId = FormatText("%04u%02u%02u%02u%02u%02u.%lx.%llx.%lx", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
                                utc.wMinute, utc.wSecond, static_cast<unsigned long>(GetCurrentProcessId()),
                                static_cast<unsigned long long>(GetTickCount64()), static_cast<unsigned long>(number));
    return stamp;
}

} // namespace quillon

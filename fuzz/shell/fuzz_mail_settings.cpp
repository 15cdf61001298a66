// The mail settings reader, and the password scrambling both ways.
#include "shell/mailsettings.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const MailSettings s = mailsettings::read(bytes);
    (void)mailsettings::intervalMinutes(s.checkInterval);
    // Any password the user could type comes back exactly.
    const QString password = QString::fromUtf8(bytes).left(64);
    if (!password.contains(QChar(0xFFFD)) &&
        mailsettings::unscramble(mailsettings::scramble(password)) != password)
        std::abort();
    return 0;
}

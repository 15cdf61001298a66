// Hand-made messages as other mail programs write them, every byte spelled
// out so the tests do not lean on an encoder of ours. Expected texts in UTF-8.
#pragma once
#include <QByteArray>
#include <QList>
#include <QStringList>

namespace mailsamples {

struct Sample {
    const char *name;
    QByteArray raw;
    const char *subject; // UTF-8
    const char *from;
    const char *body;
};

inline QList<Sample> samples()
{
    return {
        {"iso2022jp",
         QByteArray("From: =?ISO-2022-JP?B?GyRCOzNFREJATzobKEI=?= <yamada@example.jp>\r\n"
                    "To: bob@wez.test\r\n"
                    "Subject: Wez Mail form =?ISO-2022-JP?B?GyRCRnxLXDhsJE43b0w+LSEbKEI=?=\r\n"
                    "MIME-Version: 1.0\r\n"
                    "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
                    "Content-Transfer-Encoding: 7bit\r\n"
                    "\r\n"
                    "\x1b$B$3$s$K$A$O-!-6|b\x1b(B\r\n"
                    "\x1b(I6@6E\x1b$B9T\x1b(B\r\n"),
         "Wez Mail form 日本語の件名①", "山田太郎 <yamada@example.jp>", "こんにちは①Ⅱ髙\r\nｶﾀｶﾅ行"},
        {"shiftjis",
         QByteArray("From: =?Shift_JIS?B?jbKToQ==?= <sato@example.jp>\r\n"
                    "Subject: =?Shift_JIS?B?vMzESklTIIyPlryHVQ==?=\r\n"
                    "MIME-Version: 1.0\r\n"
                    "Content-Type: text/plain; charset=\"Shift_JIS\"\r\n"
                    "Content-Transfer-Encoding: base64\r\n"
                    "\r\n"
                    "lnuVtodADQqT8Y1zltoNCg==\r\n"),
         "ｼﾌﾄJIS 件名Ⅱ", "佐藤 <sato@example.jp>", "本文①\r\n二行目"},
        {"utf8",
         QByteArray("From: =?utf-8?q?=E9=88=B4=E6=9C=A8?= <suzuki@example.jp>\r\n"
                    "Subject: =?UTF-8?Q?UTF-8=E3=81=AE=E4?=\r\n"
                    " =?UTF-8?Q?=BB=B6=E5=90=8D_=E9=AB=99?=\r\n"
                    "MIME-Version: 1.0\r\n"
                    "Content-Type: text/plain; charset=utf-8\r\n"
                    "Content-Transfer-Encoding: quoted-printable\r\n"
                    "\r\n"
                    "=E4=B8=80=E8=A1=8C=E7=9B=AE\r\n"
                    "=E4=BA=8C=E8=A1=8C=E7=9B=AE\r\n"
                    "\r\n"
                    "=E5=9B=9B=E8=A1=8C=E7=9B=AE\r\n"
                    "=E3=81=8A=E3=82=8F=E3=82=8A\r\n"),
         "UTF-8の件名 髙", "鈴木 <suzuki@example.jp>", "一行目\r\n二行目\r\n\r\n四行目\r\nおわり"},
        {"undeclared",
         QByteArray("From: \x8d\x82\x8b\xb4 <takahashi@example.jp>\r\n"
                    "Subject: \x96\xa2\x90\xe9\x8c\xbe\x82\xcc\x8c\x8f\x96\xbc\x87@\x83\\\x95\\\r\n"
                    "\r\n"
                    "\x90\xe9\x8c\xbe\x82\xcc\x82\xc8\x82\xa2\x96{\x95\xb6\x87U\r\n"),
         "未宣言の件名①ソ表", "高橋 <takahashi@example.jp>", "宣言のない本文Ⅱ"},
        {"multipart",
         QByteArray("From: plain@example.com\r\n"
                    "Subject: Dots and parts\r\n"
                    "MIME-Version: 1.0\r\n"
                    "Content-Type: multipart/alternative; boundary=\"b1\"\r\n"
                    "\r\n"
                    "preamble\r\n"
                    "--b1\r\n"
                    "Content-Type: text/html; charset=utf-8\r\n"
                    "\r\n"
                    "<p>html</p>\r\n"
                    "--b1\r\n"
                    "Content-Type: text/plain; charset=utf-8\r\n"
                    "Content-Transfer-Encoding: 8bit\r\n"
                    "\r\n"
                    "\xe4\xb8\x8a\r\n"
                    ".\r\n"
                    "..two dots\r\n"
                    ".end\r\n"
                    "--b1--\r\n"),
         "Dots and parts", "plain@example.com", "上\r\n.\r\n..two dots\r\n.end"},
    };
}

// The three lines the mail check reads from a sample.
inline QStringList lines(const Sample &s)
{
    return {QStringLiteral("Subject: ") + QString::fromUtf8(s.subject),
            QStringLiteral("From: ") + QString::fromUtf8(s.from),
            QStringLiteral("Body: ") + QString::fromUtf8(s.body)};
}

} // namespace mailsamples

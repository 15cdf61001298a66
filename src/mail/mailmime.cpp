#include "mail/mailmime.h"

#include "mail/mailtext.h"

#include <gmime/gmime.h>

#include <mutex>

namespace mailmime {
namespace {

constexpr int kMaxDepth = 16;

void ensureGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

// Owns one GObject reference.
template <typename T> struct Ref {
    T *p = nullptr;
    explicit Ref(T *object) : p(object) {}
    ~Ref()
    {
        if (p) g_object_unref(p);
    }
    Ref(const Ref &) = delete;
    Ref &operator=(const Ref &) = delete;
};

QByteArray rawHeader(GMimeObject *object, const char *name)
{
    GMimeHeaderList *list = g_mime_object_get_header_list(object);
    GMimeHeader *header = list ? g_mime_header_list_get_header(list, name) : nullptr;
    if (!header) return {};
    const char *raw = g_mime_header_get_raw_value(header);
    return raw ? QByteArray(raw) : QByteArray();
}

bool isText(GMimeObject *object, const char *subtype)
{
    if (!GMIME_IS_PART(object) || g_mime_part_is_attachment(GMIME_PART(object))) return false;
    GMimeContentType *type = g_mime_object_get_content_type(object);
    return type && g_mime_content_type_is_type(type, "text", subtype);
}

// First text part of the wanted subtype, depth first, as a reader sees it.
GMimePart *findText(GMimeObject *object, const char *subtype, int depth)
{
    if (!object || depth > kMaxDepth) return nullptr;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart *multipart = GMIME_MULTIPART(object);
        const int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count; ++i)
            if (GMimePart *part = findText(g_mime_multipart_get_part(multipart, i), subtype, depth + 1))
                return part;
        return nullptr;
    }
    return isText(object, subtype) ? GMIME_PART(object) : nullptr;
}

QString partText(GMimePart *part)
{
    GMimeDataWrapper *content = g_mime_part_get_content(part);
    if (!content) return {};
    Ref<GMimeStream> out(g_mime_stream_mem_new());
    if (g_mime_data_wrapper_write_to_stream(content, out.p) < 0) return {};
    GByteArray *bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.p));
    const QByteArray decoded(reinterpret_cast<const char *>(bytes->data), qsizetype(bytes->len));
    const char *charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
    QString text =
        mailtext::crlf(mailtext::decodeCharset(decoded, charset ? QByteArray(charset) : QByteArray()));
    while (text.endsWith(QLatin1String("\r\n")))
        text.chop(2);
    return text;
}

bool isAscii(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80) return false;
    return true;
}

// Bare CR or LF anywhere becomes CR LF, so SMTP dot-stuffing sees every line.
QByteArray crlfBytes(const QByteArray &in)
{
    QByteArray out;
    out.reserve(in.size() + in.size() / 32);
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in.at(i);
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < in.size() && in.at(i + 1) == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

std::optional<MailFields> readMessage(const QByteArray &raw)
{
    if (raw.isEmpty() || raw.size() > kMaxMessageBytes) return std::nullopt;
    ensureGMime();
    Ref<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(raw.constData(), size_t(raw.size())));
    Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.p));
    GMimeParserOptions *options = g_mime_parser_options_new();
    g_mime_parser_options_set_rfc2047_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
    const char *fallback[] = {"utf-8", "cp932", nullptr};
    g_mime_parser_options_set_fallback_charsets(options, fallback);
    Ref<GMimeMessage> message(g_mime_parser_construct_message(parser.p, options));
    g_mime_parser_options_free(options);
    if (!message.p) return std::nullopt;

    MailFields fields;
    fields.subject = mailtext::decodeHeader(rawHeader(GMIME_OBJECT(message.p), "Subject"));
    fields.from = mailtext::decodeHeader(rawHeader(GMIME_OBJECT(message.p), "From"));
    GMimeObject *top = g_mime_message_get_mime_part(message.p);
    GMimePart *text = findText(top, "plain", 0);
    if (!text) text = findText(top, "*", 0);
    if (text) fields.body = partText(text);
    return fields;
}

QStringList mailLines(const MailFields &fields)
{
    return {QStringLiteral("Subject: ") + fields.subject, QStringLiteral("From: ") + fields.from,
            QStringLiteral("Body: ") + fields.body};
}

QByteArray composeMessage(const QString &from, const QString &to, const QString &subject, const QString &body,
                          const QDateTime &date)
{
    ensureGMime();
    Ref<GMimeMessage> message(g_mime_message_new(TRUE));
    g_mime_message_add_mailbox(message.p, GMIME_ADDRESS_TYPE_FROM, nullptr, from.toUtf8().constData());
    g_mime_message_add_mailbox(message.p, GMIME_ADDRESS_TYPE_TO, nullptr, to.toUtf8().constData());
    g_mime_message_set_subject(message.p, subject.toUtf8().constData(), "utf-8");

    GDateTime *when = g_date_time_new_from_unix_local(date.toSecsSinceEpoch());
    g_mime_message_set_date(message.p, when);
    g_date_time_unref(when);
    const QByteArray domain = from.section(QLatin1Char('@'), -1).toUtf8();
    char *id = g_mime_utils_generate_message_id(domain.isEmpty() ? "localhost" : domain.constData());
    g_mime_message_set_message_id(message.p, id);
    g_free(id);

    Ref<GMimeTextPart> part(g_mime_text_part_new_with_subtype("plain"));
    g_mime_text_part_set_charset(part.p, isAscii(body) ? "us-ascii" : "utf-8");
    const QByteArray bytes = mailtext::crlf(body).toUtf8();
    {
        Ref<GMimeStream> content(g_mime_stream_mem_new_with_buffer(bytes.constData(), size_t(bytes.size())));
        Ref<GMimeDataWrapper> wrapper(
            g_mime_data_wrapper_new_with_stream(content.p, GMIME_CONTENT_ENCODING_DEFAULT));
        g_mime_part_set_content(GMIME_PART(part.p), wrapper.p);
    }
    g_mime_part_set_content_encoding(
        GMIME_PART(part.p),
        g_mime_part_get_best_content_encoding(GMIME_PART(part.p), GMIME_ENCODING_CONSTRAINT_7BIT));
    g_mime_message_set_mime_part(message.p, GMIME_OBJECT(part.p));

    GMimeFormatOptions *format = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(format, GMIME_NEWLINE_FORMAT_DOS);
    char *text = g_mime_object_to_string(GMIME_OBJECT(message.p), format);
    g_mime_format_options_free(format);
    QByteArray out = crlfBytes(QByteArray(text ? text : ""));
    g_free(text);
    return out;
}

} // namespace mailmime

#include "mail/curlmailservice.h"

#include "mail/mailerrortext.h"
#include "mail/mailmime.h"
#include "mail/mailserveraddress.h"
#include "mail/mailtext.h"
#include "shell/settingsfiles.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QMap>
#include <QRegularExpression>

#include <curl/curl.h>

#include <cstring>
#include <mutex>

namespace {

constexpr qsizetype kMaxReplyLine = 1000;
constexpr qsizetype kMaxListingBytes = 4 * 1024 * 1024;
constexpr int kMaxMessageNumber = 32767; // the mail check counts in 16 bits

void ensureCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One libcurl handle; the connection stays open between performs, so a
// listing and the downloads that follow share one POP3 session.
class CurlSession final {
public:
    CurlSession(const MailOptions &options, const std::atomic<bool> &abortFlag) : m_abort(abortFlag)
    {
        ensureCurl();
        m_handle = curl_easy_init();
        if (!m_handle) return;
        curl_easy_setopt(m_handle, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_handle, CURLOPT_CONNECTTIMEOUT_MS, long(options.connectTimeoutMs));
        curl_easy_setopt(m_handle, CURLOPT_TIMEOUT_MS, long(options.transferTimeoutMs));
        curl_easy_setopt(m_handle, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(m_handle, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(m_handle, CURLOPT_PROTOCOLS_STR, "smtp,smtps,pop3,pop3s");
        // Both together: a header function without its data pointer crashes libcurl.
        curl_easy_setopt(m_handle, CURLOPT_HEADERFUNCTION, &CurlSession::onHeader);
        curl_easy_setopt(m_handle, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(m_handle, CURLOPT_WRITEFUNCTION, &CurlSession::onBody);
        curl_easy_setopt(m_handle, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(m_handle, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(m_handle, CURLOPT_XFERINFOFUNCTION, &CurlSession::onProgress);
        curl_easy_setopt(m_handle, CURLOPT_XFERINFODATA, this);
        if (!options.bindAddress.isEmpty()) {
            m_bind = options.bindAddress.toLatin1();
            curl_easy_setopt(m_handle, CURLOPT_INTERFACE, m_bind.constData());
        }
    }

    ~CurlSession()
    {
        // Cleanup may still say QUIT and call onHeader: the members must live.
        if (m_handle) curl_easy_cleanup(m_handle);
        if (m_recipients) curl_slist_free_all(m_recipients);
    }

    Q_DISABLE_COPY_MOVE(CurlSession)

    CURL *handle() const { return m_handle; }

    // TLS when the address asks for it from the first byte, else STARTTLS when the
    // server offers it; then the account, when there is one.
    void logIn(const MailServerAddress &address, const QString &account, const QString &password)
    {
        if (!address.implicitTls) curl_easy_setopt(m_handle, CURLOPT_USE_SSL, long(CURLUSESSL_TRY));
        setCredentials(account, password);
    }

    void setCredentials(const QString &account, const QString &password)
    {
        m_user = account.toUtf8();
        m_password = password.toUtf8();
        if (m_user.isEmpty()) return;
        curl_easy_setopt(m_handle, CURLOPT_USERNAME, m_user.constData());
        curl_easy_setopt(m_handle, CURLOPT_PASSWORD, m_password.constData());
    }

    void setRecipient(const QByteArray &rcpt)
    {
        m_recipients = curl_slist_append(m_recipients, rcpt.constData());
        curl_easy_setopt(m_handle, CURLOPT_MAIL_RCPT, m_recipients);
    }

    void setUpload(const QByteArray &data)
    {
        m_upload = data;
        m_uploadPos = 0;
        curl_easy_setopt(m_handle, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(m_handle, CURLOPT_READFUNCTION, &CurlSession::onRead);
        curl_easy_setopt(m_handle, CURLOPT_READDATA, this);
        curl_easy_setopt(m_handle, CURLOPT_INFILESIZE_LARGE, curl_off_t(data.size()));
    }

    // Runs one transfer; the body it brings (if any) is limited to `maxBody` bytes.
    CURLcode perform(const QByteArray &url, qsizetype maxBody)
    {
        if (!m_handle) return CURLE_FAILED_INIT;
        if (m_abort.load()) return CURLE_ABORTED_BY_CALLBACK;
        m_url = url;
        m_body.clear();
        m_maxBody = maxBody;
        m_bodyTooBig = false;
        curl_easy_setopt(m_handle, CURLOPT_URL, m_url.constData());
        return curl_easy_perform(m_handle);
    }

    const QByteArray &body() const { return m_body; }
    bool bodyTooBig() const { return m_bodyTooBig; }
    const QList<QByteArray> &replies() const { return m_replies; }

    // Readable error: our words for libcurl's result and what the server said last.
    QString errorText(CURLcode code) const
    {
        return mailerror::withReply(mailerror::describe(code, !m_lastErrorReply.isEmpty()), lastReply());
    }

    // The server's last reply, preferring the last refusal; empty when the server said nothing.
    QString lastReply() const
    {
        const QByteArray reply = m_lastErrorReply.isEmpty() ? m_lastReply : m_lastErrorReply;
        return reply.isEmpty() ? QString() : mailtext::decodeUndeclared(reply);
    }

private:
    static size_t onHeader(char *data, size_t size, size_t count, void *self)
    {
        auto *s = static_cast<CurlSession *>(self);
        const size_t n = size * count;
        QByteArray line = QByteArray(data, qsizetype(qMin<size_t>(n, kMaxReplyLine))).trimmed();
        if (line.isEmpty()) return n;
        for (char &c : line)
            if (uchar(c) < 0x20) c = ' ';
        s->m_lastReply = line;
        if (line.startsWith("-ERR") || line.startsWith('4') || line.startsWith('5'))
            s->m_lastErrorReply = line;
        s->m_replies.append(line);
        if (s->m_replies.size() > 64) s->m_replies.removeFirst();
        return n;
    }

    static size_t onBody(char *data, size_t size, size_t count, void *self)
    {
        auto *s = static_cast<CurlSession *>(self);
        const size_t n = size * count;
        if (s->m_body.size() + qsizetype(n) > s->m_maxBody) {
            s->m_bodyTooBig = true;
            return 0; // stops the transfer
        }
        s->m_body.append(data, qsizetype(n));
        return n;
    }

    static size_t onRead(char *buffer, size_t size, size_t count, void *self)
    {
        auto *s = static_cast<CurlSession *>(self);
        const size_t room = size * count;
        const size_t left = size_t(s->m_upload.size() - s->m_uploadPos);
        const size_t n = qMin(room, left);
        std::memcpy(buffer, s->m_upload.constData() + s->m_uploadPos, n);
        s->m_uploadPos += qsizetype(n);
        return n;
    }

    static int onProgress(void *self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        return static_cast<CurlSession *>(self)->m_abort.load() ? 1 : 0;
    }

    CURL *m_handle = nullptr;
    const std::atomic<bool> &m_abort;
    QByteArray m_bind, m_user, m_password, m_url;
    curl_slist *m_recipients = nullptr;
    QByteArray m_upload;
    qsizetype m_uploadPos = 0;
    QByteArray m_body;
    qsizetype m_maxBody = 0;
    bool m_bodyTooBig = false;
    QByteArray m_lastReply, m_lastErrorReply;
    QList<QByteArray> m_replies;
};

// An address for the SMTP envelope: no blanks, controls or angle brackets,
// which would let a field add commands of its own.
bool envelopeAddressOk(const QString &address)
{
    if (address.isEmpty() || address.size() > 320) return false;
    for (QChar c : address)
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f || c == QLatin1Char('<') || c == QLatin1Char('>'))
            return false;
    return true;
}

QString safeName(const QByteArray &raw)
{
    QString out;
    for (char c : raw) {
        const uchar u = uchar(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' ||
            u == '_' || u == '.' || u == '@')
            out += QLatin1Char(c);
        else
            out += QStringLiteral("%%%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    if (out.isEmpty() || out.startsWith(QLatin1Char('.'))) out.prepend(QLatin1Char('_'));
    return out.left(200);
}

QString invalidServer(const MailServerAddress &address)
{
    return QStringLiteral("メールサーバの設定が正しくありません: ") + address.error;
}

} // namespace

CurlMailService::CurlMailService(MailOptions options) : m_options(std::move(options)) {}

CurlMailService::~CurlMailService() = default;

void CurlMailService::abort()
{
    m_abort = true;
}

QString CurlMailService::mailboxDir(const QString &pop3Server, const QString &account) const
{
    const MailServerAddress address = parseMailServer(pop3Server, MailProtocol::Pop3);
    const QByteArray where =
        address.valid ? address.url.mid(address.url.indexOf("://") + 3) : pop3Server.toUtf8();
    return m_options.dataDir + QStringLiteral("/mailbox/") + safeName(account.toUtf8() + '@' + where);
}

QString CurlMailService::fileNameForUid(const QByteArray &uid)
{
    return safeName(uid) + QStringLiteral(".eml");
}

QString CurlMailService::sendMail(const QString &smtpServer, const QString &recipient, const QString &sender,
                                  const QString &subject, const QString &body, const QString &account,
                                  const QString &password)
{
    const MailServerAddress address = parseMailServer(smtpServer, MailProtocol::Smtp);
    if (!address.valid) return invalidServer(address);
    const QString to = recipient.trimmed();
    const QString from = sender.trimmed();
    if (!envelopeAddressOk(to)) return QStringLiteral("宛先のメールアドレスが正しくありません: ") + recipient;
    if (!envelopeAddressOk(from))
        return QStringLiteral("送信者のメールアドレスが正しくありません: ") + sender;

    const QByteArray message =
        mailmime::composeMessage(from, to, subject, body, QDateTime::currentDateTime());
    CurlSession session(m_options, m_abort);
    if (!session.handle()) return mailerror::describe(CURLE_FAILED_INIT, false);
    CURL *h = session.handle();
    const QByteArray mailFrom = '<' + from.toUtf8() + '>';
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, mailFrom.constData());
    session.setRecipient('<' + to.toUtf8() + '>');
    session.logIn(address, account, password);
    session.setUpload(message);
    const CURLcode code = session.perform(address.url, 0);
    return code == CURLE_OK ? QString() : session.errorText(code);
}

StatResult CurlMailService::statCount(const QString &pop3Server, const QString &account,
                                      const QString &password)
{
    StatResult result;
    const MailServerAddress address = parseMailServer(pop3Server, MailProtocol::Pop3);
    if (!address.valid) {
        result.error = invalidServer(address);
        return result;
    }
    CurlSession session(m_options, m_abort);
    if (!session.handle()) {
        result.error = mailerror::describe(CURLE_FAILED_INIT, false);
        return result;
    }
    CURL *h = session.handle();
    session.logIn(address, account, password);
    // STAT answers on its status line only; without NOBODY libcurl would
    // wait for a listing that never comes.
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "STAT");
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    const CURLcode code = session.perform(address.url + '/', 0);
    if (code != CURLE_OK) {
        result.error = session.errorText(code);
        return result;
    }
    static const QRegularExpression statLine(QStringLiteral("^\\+OK\\s+(\\d{1,9})\\s+\\d+"));
    const QList<QByteArray> &replies = session.replies();
    for (qsizetype i = replies.size() - 1; i >= 0; --i) {
        const QRegularExpressionMatch m = statLine.match(QString::fromLatin1(replies.at(i)));
        if (m.hasMatch()) {
            result.ok = true;
            result.count = m.captured(1).toInt();
            return result;
        }
    }
    result.error = mailerror::withReply(QStringLiteral("メールサーバの応答にメールの数がありません"),
                                        session.lastReply());
    return result;
}

SaveResult CurlMailService::saveMessages(const QString &pop3Server, const QString &account,
                                         const QString &password, int first, int last)
{
    SaveResult result;
    const MailServerAddress address = parseMailServer(pop3Server, MailProtocol::Pop3);
    if (!address.valid) {
        result.error = invalidServer(address);
        return result;
    }
    first = qMax(first, 1);
    last = qMin(last, kMaxMessageNumber);
    if (last < first) {
        result.ok = true;
        return result;
    }
    const QString dir = mailboxDir(pop3Server, account);
    if (!QDir().mkpath(dir)) {
        result.error = QStringLiteral("フォルダを作れません: ") + dir;
        return result;
    }

    CurlSession session(m_options, m_abort);
    if (!session.handle()) {
        result.error = mailerror::describe(CURLE_FAILED_INIT, false);
        return result;
    }
    CURL *h = session.handle();
    session.logIn(address, account, password);

    // The unique ids name the files, so a message saved once is never fetched again.
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "UIDL");
    CURLcode code = session.perform(address.url + '/', kMaxListingBytes);
    QMap<int, QByteArray> uids;
    bool haveUids = false;
    if (code == CURLE_OK) {
        haveUids = true;
        for (const QByteArray &line : session.body().split('\n')) {
            const QList<QByteArray> parts = line.trimmed().split(' ');
            bool ok = false;
            const int number = parts.value(0).toInt(&ok);
            if (ok && parts.size() >= 2 && !parts.at(1).isEmpty() && number >= first && number <= last)
                uids.insert(number, parts.at(1).left(70));
        }
    } else if (code != CURLE_WEIRD_SERVER_REPLY) {
        // Could not connect or log in: nothing to save.
        result.error = session.errorText(code);
        return result;
    }
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, nullptr);

    result.ok = true;
    for (int number = first; number <= last; ++number) {
        QString path;
        if (haveUids) {
            if (!uids.contains(number)) break; // the mailbox has fewer messages than asked for
            path = dir + QLatin1Char('/') + fileNameForUid(uids.value(number));
            if (QFileInfo::exists(path)) {
                result.files.append(path);
                continue;
            }
        }
        code = session.perform(address.url + '/' + QByteArray::number(number), mailmime::kMaxMessageBytes);
        if (code != CURLE_OK) {
            if (session.bodyTooBig()) {
                ++result.skipped;
                continue;
            }
            if (!haveUids && session.replies().value(session.replies().size() - 1).startsWith("-ERR"))
                break; // past the last message of a server without unique ids
            result.ok = false;
            result.error = session.errorText(code);
            break;
        }
        if (!haveUids)
            path = dir + QStringLiteral("/sha1-") +
                   QString::fromLatin1(
                       QCryptographicHash::hash(session.body(), QCryptographicHash::Sha1).toHex()) +
                   QStringLiteral(".eml");
        if (!settingsfiles::saveFile(path, session.body())) {
            result.ok = false;
            result.error = QStringLiteral("ファイルに書き込めません: ") + path;
            break;
        }
        result.files.append(path);
    }
    return result;
}

std::optional<QStringList> CurlMailService::readMail(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly) || f.size() > mailmime::kMaxMessageBytes) return std::nullopt;
    const std::optional<mailmime::MailFields> fields = mailmime::readMessage(f.readAll());
    if (!fields) return std::nullopt;
    return mailmime::mailLines(*fields);
}

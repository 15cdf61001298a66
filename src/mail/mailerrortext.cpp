#include "mail/mailerrortext.h"

#include <curl/curl.h>

QString mailerror::describe(int libraryCode, bool refused)
{
    const QString refusal = QStringLiteral("メールサーバに断られました");
    switch (CURLcode(libraryCode)) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("メールサーバが見つかりません");
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("メールサーバに接続できません");
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("メールサーバの応答がタイムアウトしました");
    case CURLE_LOGIN_DENIED:
    case CURLE_AUTH_ERROR:
        return QStringLiteral("ログインできません。アカウントとパスワードを確かめてください");
    case CURLE_SSL_CONNECT_ERROR:
        return QStringLiteral("メールサーバとの暗号化通信を始められません");
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        return QStringLiteral("メールサーバの証明書を確認できません");
    case CURLE_USE_SSL_FAILED:
        return QStringLiteral("メールサーバが暗号化通信に対応していません");
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        return refused ? refusal : QStringLiteral("メールサーバとの通信が途切れました");
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_QUOTE_ERROR:
        return refused ? refusal : QStringLiteral("メールサーバの応答が正しくありません");
    case CURLE_GOT_NOTHING:
        return QStringLiteral("メールサーバから応答がありません");
    case CURLE_ABORTED_BY_CALLBACK:
        return QStringLiteral("中止しました");
    case CURLE_INTERFACE_FAILED:
        return QStringLiteral("このコンピュータのアドレスから接続できません");
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return QStringLiteral("メールサーバの設定が正しくありません");
    case CURLE_WRITE_ERROR:
        return QStringLiteral("受信したメールが大きすぎます");
    case CURLE_FAILED_INIT:
    case CURLE_OUT_OF_MEMORY:
        return QStringLiteral("メールの処理を始められません");
    default:
        return refused ? refusal
                       : QStringLiteral("メールの送受信に失敗しました（エラー番号 %1）").arg(libraryCode);
    }
}

QString mailerror::withReply(const QString &description, const QString &reply)
{
    if (reply.isEmpty()) return description;
    return description + QStringLiteral("（サーバの応答: ") + reply + QStringLiteral("）");
}

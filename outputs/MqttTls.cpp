#include "outputs/MqttTls.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <ctime>

namespace {

// Where the context finds its MqttTls from inside the verification callback.
int contextIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

QString timeText(const ASN1_TIME* time)
{
    std::tm tm{};
    if (!time || ASN1_TIME_to_tm(time, &tm) != 1)
        return QStringLiteral("(a date that cannot be read)");
    const QDateTime utc(QDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday),
                        QTime(tm.tm_hour, tm.tm_min, tm.tm_sec), QTimeZone::utc());
    return utc.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" UTC");
}

} // namespace

std::unique_ptr<MqttTls> MqttTls::create(const QString& host, const QString& caFile, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return std::unique_ptr<MqttTls>();
    };
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (!context)
        return fail(QStringLiteral("TLS cannot be set up (OpenSSL has no context)."));
    std::unique_ptr<MqttTls> tls(new MqttTls(context, host, caFile));
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_options(context, SSL_OP_NO_COMPRESSION);

    if (caFile.isEmpty()) {
        SSL_CTX_set_default_verify_paths(context);
    } else {
        const QByteArray path = QFile::encodeName(caFile);
        if (SSL_CTX_load_verify_locations(context, path.constData(), nullptr) != 1) {
            ERR_clear_error();
            return fail(QStringLiteral("Unable to use the certificate authority file %1: it holds "
                                       "no certificate in PEM form.")
                            .arg(QFileInfo(caFile).absoluteFilePath()));
        }
    }

    // The certificate must be made out for the host the address names: an address written as
    // one is compared with the certificate's IP addresses, a name with its DNS names.
    X509_VERIFY_PARAM* param = SSL_CTX_get0_param(context);
    const QByteArray hostBytes = host.toUtf8();
    in6_addr numeric{};
    const bool isAddress = ::inet_pton(AF_INET, hostBytes.constData(), &numeric) == 1 ||
                           ::inet_pton(AF_INET6, hostBytes.constData(), &numeric) == 1;
    const bool ok = isAddress
                        ? X509_VERIFY_PARAM_set1_ip_asc(param, hostBytes.constData()) == 1
                        : X509_VERIFY_PARAM_set1_host(param, hostBytes.constData(),
                                                      size_t(hostBytes.size())) == 1;
    if (!ok) {
        ERR_clear_error();
        return fail(QStringLiteral("TLS cannot check certificates for the host %1.").arg(host));
    }
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);

    SSL_CTX_set_ex_data(context, contextIndex(), tls.get());
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, &MqttTls::verify);
    return tls;
}

MqttTls::MqttTls(ssl_ctx_st* context, const QString& host, const QString& caFile)
    : m_context(context), m_host(host), m_caFile(caFile)
{
}

MqttTls::~MqttTls()
{
    // libmosquitto may still hold its reference: this object is gone for the callback.
    SSL_CTX_set_ex_data(m_context, contextIndex(), nullptr);
    SSL_CTX_free(m_context);
}

QString MqttTls::takeFailure()
{
    std::lock_guard lock(m_mutex);
    QString failure;
    failure.swap(m_failure);
    return failure;
}

int MqttTls::verify(int ok, X509_STORE_CTX* store)
{
    if (ok)
        return 1;
    // Runs in the library's thread, inside the handshake.
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* self =
        ssl ? static_cast<MqttTls*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), contextIndex()))
            : nullptr;
    if (self) {
        const int error = X509_STORE_CTX_get_error(store);
        X509* certificate = X509_STORE_CTX_get_current_cert(store);
        QString when;
        if (certificate && error == X509_V_ERR_CERT_HAS_EXPIRED)
            when = timeText(X509_get0_notAfter(certificate));
        else if (certificate && error == X509_V_ERR_CERT_NOT_YET_VALID)
            when = timeText(X509_get0_notBefore(certificate));
        self->noteFailure(error, X509_STORE_CTX_get_error_depth(store), when);
    }
    return 0;
}

void MqttTls::noteFailure(int error, int depth, const QString& when)
{
    const QString whose = depth == 0 ? QStringLiteral("the broker's certificate")
                                     : QStringLiteral("a certificate of the broker's chain");
    QString why;
    switch (error) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        why = QStringLiteral("%1 expired on %2").arg(whose, when);
        break;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        why = QStringLiteral("%1 is valid only from %2 on (is this computer's clock right?)")
                  .arg(whose, when);
        break;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_CERT_UNTRUSTED:
        why = m_caFile.isEmpty()
                  ? QStringLiteral("the broker's certificate is not signed by a certificate "
                                   "authority this computer trusts; name the broker's "
                                   "certificate authority file")
                  : QStringLiteral("the broker's certificate is not signed by the certificate "
                                   "authority in %1")
                        .arg(QFileInfo(m_caFile).absoluteFilePath());
        break;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        why = QStringLiteral("the broker's certificate is for another host than %1").arg(m_host);
        break;
    default:
        why = QStringLiteral("%1 was refused (%2)")
                  .arg(whose, QString::fromUtf8(X509_verify_cert_error_string(error)));
        break;
    }
    std::lock_guard lock(m_mutex);
    // The first failure of a handshake is the one that ended it.
    if (m_failure.isEmpty())
        m_failure = QStringLiteral("TLS: ") + why;
}

#pragma once
// The TLS side of the connection to a broker (mqtts://), set up here with OpenSSL and handed to
// libmosquitto as its context. libmosquitto's own context reports every refused handshake as
// "A TLS error occurred."; this one keeps OpenSSL's verification result, so that a refusal says
// which check failed: a certificate not signed by the authority trusted, one that has expired or
// is not valid yet, one made out for another host.
//
// The broker's certificate must chain to the certificate authority file given (empty: the
// system's authorities, /etc/ssl/certs) and name the host of the address (its DNS name, or its
// IP address for an address written as one). TLS 1.2 at least.

#include <QString>

#include <memory>
#include <mutex>

struct ssl_ctx_st;

class MqttTls
{
public:
    // A context for the broker at host; nothing, and why in error, when the certificate
    // authority file cannot be used.
    static std::unique_ptr<MqttTls> create(const QString& host, const QString& caFile,
                                           QString* error);
    ~MqttTls();
    MqttTls(const MqttTls&) = delete;
    MqttTls& operator=(const MqttTls&) = delete;

    // The context, for MOSQ_OPT_SSL_CTX (libmosquitto takes a reference of its own).
    ssl_ctx_st* context() const { return m_context; }

    // Why the verification of the broker's certificate failed since the last call ("the broker's
    // certificate expired on 2024-05-01 12:00:00 UTC"), empty when it did not. Any thread.
    QString takeFailure();

private:
    MqttTls(ssl_ctx_st* context, const QString& host, const QString& caFile);
    static int verify(int ok, struct x509_store_ctx_st* store);
    void noteFailure(int error, int depth, const QString& when);

    ssl_ctx_st* m_context;
    QString m_host;
    QString m_caFile;
    std::mutex m_mutex;
    QString m_failure; // under m_mutex
};

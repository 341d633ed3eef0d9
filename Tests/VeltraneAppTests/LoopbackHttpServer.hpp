#pragma once

// A tiny HTTP/1.1 server on 127.0.0.1 for the update tests: it answers GET requests from a table of
// paths, counts what it was asked, and can be told to leave a path unanswered.

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

class LoopbackHttpServer : public QObject {
public:
    struct Answer {
        int status = 200;
        QByteArray body;
    };

    LoopbackHttpServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++m_connections;
                QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    bool isListening() const { return m_server.isListening(); }
    QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    quint16 port() const { return m_server.serverPort(); }

    void answer(const QString& path, Answer answer) { m_answers.insert(path, std::move(answer)); }
    void leaveUnanswered(const QString& path) { m_silent.insert(path); }
    int requestsFor(const QString& path) const { return m_requests.value(path); }
    int connections() const { return m_connections; }

private:
    void serve(QTcpSocket* socket)
    {
        QByteArray& pending = m_pending[socket];
        pending += socket->readAll();
        const qsizetype headerEnd = pending.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        const QList<QByteArray> requestLine = pending.left(pending.indexOf("\r\n")).split(' ');
        m_pending.remove(socket);
        const QString path = requestLine.size() >= 2 ? QString::fromUtf8(requestLine[1]) : QString();
        ++m_requests[path];
        if (m_silent.contains(path))
            return;
        const Answer answer = m_answers.value(path, Answer{.status = 404, .body = "not here"});
        QByteArray response = "HTTP/1.1 " + QByteArray::number(answer.status) + " Status\r\n";
        response += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
        response += "Connection: close\r\n\r\n";
        response += answer.body;
        socket->write(response);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QString, Answer> m_answers;
    QSet<QString> m_silent;
    QHash<QString, int> m_requests;
    QHash<QTcpSocket*, QByteArray> m_pending;
    int m_connections = 0;
};

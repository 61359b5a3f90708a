#include "app/SingleInstance.h"

#include "Utilities/VTRUIUtils.h"

#include <unistd.h>

#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QtEndian>

namespace {
constexpr int kWaitMs = 2000;
// 4-byte big-endian length in bytes, then the path as UTF-16 (host order is
// not needed: both sides are the same program on the same machine, but a
// fixed order keeps the framing simple to check).
QByteArray Frame(const QString& path)
{
    QByteArray payload(reinterpret_cast<const char*>(path.utf16()), path.size() * 2);
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(payload.size()), out.data());
    return out + payload;
}
} // namespace

CSingleInstance::CSingleInstance(const QString& name, QObject* parent)
    : QObject(parent)
    , m_name(name.isEmpty() ? DefaultName() : name)
{ }

CSingleInstance::~CSingleInstance()
{
    if (m_server)
        m_server->close();
}

QString CSingleInstance::DefaultName()
{
    const QString overridden = qEnvironmentVariable("VTRPRO_INSTANCE_NAME");
    if (!overridden.isEmpty())
        return overridden;
    return QStringLiteral("VTRProRuleBuilderApplication_X64.exe-%1").arg(::getuid());
}

CSingleInstance::Role CSingleInstance::Start(const QString& path)
{
    // The lock makes "is anyone listening? else listen" one step across copies.
    QLockFile lock(QDir::tempPath() + QLatin1Char('/') + m_name + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(kWaitMs))
        LogWithText(QStringLiteral("Single instance lock %s could not be taken"), m_name);

    if (HandOver(path)) {
        m_role = Role::Secondary;
        return m_role;
    }
    m_role = Listen() ? Role::Primary : Role::Failed;
    return m_role;
}

bool CSingleInstance::HandOver(const QString& path)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(kWaitMs))
        return false;
    socket.write(Frame(path.left(kMaxPathLength)));
    socket.flush();
    socket.waitForBytesWritten(kWaitMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kWaitMs);
    return true;
}

bool CSingleInstance::Listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        // Nobody answered, so a socket file left behind is stale.
        QLocalServer::removeServer(m_name);
        if (!m_server->listen(m_name)) {
            LogWithText(QStringLiteral("Single instance socket %s could not be opened"), m_server->errorString());
            return false;
        }
    }
    connect(m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
    return true;
}

void CSingleInstance::OnNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        m_pending.insert(socket, QByteArray());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            OnReadyRead(socket);
            m_pending.remove(socket);
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0)
            OnReadyRead(socket);
    }
}

void CSingleInstance::OnReadyRead(QLocalSocket* socket)
{
    auto it = m_pending.find(socket);
    if (it == m_pending.end())
        return;
    it->append(socket->readAll());
    if (it->size() < 4)
        return;
    const quint32 length = qFromBigEndian<quint32>(it->constData());
    // Anything that is not a sane path is dropped: the socket is open to every
    // process of the user.
    if (length % 2 != 0 || length > static_cast<quint32>(kMaxPathLength) * 2) {
        m_pending.erase(it);
        socket->abort();
        return;
    }
    if (static_cast<quint32>(it->size()) < 4 + length)
        return;
    const QString path = QString(reinterpret_cast<const QChar*>(it->constData() + 4), static_cast<int>(length / 2));
    m_pending.erase(it);
    socket->disconnectFromServer();
    emit PathReceived(path);
}

#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// One running copy per user. The first copy listens on a local socket named
// after the program's mutex; a later copy connects, hands over its file path
// and ends. A socket left by a crashed copy is removed; a lock file guards
// the connect-or-listen step against two copies started at once.
class CSingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Role { Primary, Secondary, Failed };

    // name: the socket name; empty gives DefaultName().
    explicit CSingleInstance(const QString& name = QString(), QObject* parent = nullptr);
    ~CSingleInstance() override;

    // The mutex name plus the user id, or VTRPRO_INSTANCE_NAME when set.
    static QString DefaultName();

    // Becomes the first copy (listening), or hands path (may be empty: only
    // bring the window forward) to the running copy and reports Secondary.
    // Failed: no copy answers and listening failed; the caller may still run.
    Role Start(const QString& path);
    Role GetRole() const { return m_role; }
    QString Name() const { return m_name; }

    // Largest path accepted from another copy, in UTF-16 units.
    static constexpr int kMaxPathLength = 32767;

signals:
    // Another copy started; path is absolute, or empty when it named no file.
    void PathReceived(const QString& path);

private:
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* socket);
    bool HandOver(const QString& path);
    bool Listen();

    QString m_name;
    Role m_role = Role::Failed;
    QLocalServer* m_server = nullptr;
    QHash<QLocalSocket*, QByteArray> m_pending;
};

// A file opener that only writes down what it was asked to open, put in
// place of the desktop's through VTRPRO_FILE_OPENER for the life of the object.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class RecordingOpener
{
public:
    RecordingOpener()
        : m_had(qEnvironmentVariableIsSet("VTRPRO_FILE_OPENER"))
        , m_old(qgetenv("VTRPRO_FILE_OPENER"))
    {
        const QString script = m_dir.filePath(QStringLiteral("opener.sh"));
        QFile f(script);
        if (f.open(QIODevice::WriteOnly)) {
            f.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" + QFile::encodeName(Log()) + "\"\n");
            f.close();
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("VTRPRO_FILE_OPENER", QFile::encodeName(script));
    }
    ~RecordingOpener()
    {
        if (m_had)
            qputenv("VTRPRO_FILE_OPENER", m_old);
        else
            qunsetenv("VTRPRO_FILE_OPENER");
    }
    RecordingOpener(const RecordingOpener&) = delete;
    RecordingOpener& operator=(const RecordingOpener&) = delete;

    // What the opener was given so far, one entry per start (it runs detached:
    // wait for the entries to appear).
    QStringList Opened() const
    {
        QFile f(Log());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QString Log() const { return m_dir.filePath(QStringLiteral("opened.txt")); }

    QTemporaryDir m_dir;
    bool m_had;
    QByteArray m_old;
};

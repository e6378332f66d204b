#pragma once

#include <QByteArray>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <string>

// A server of tests/support (run with Debian's own Python) on 127.0.0.1, from the moment it
// says its port until the test ends. Needs SENTELLO_TEST_SUPPORT.
class ScriptServer {
public:
    ScriptServer(const std::string& script, const QStringList& arguments) {
        m_process.start(
            "/usr/bin/python3",
            QStringList{QString::fromStdString(std::string(SENTELLO_TEST_SUPPORT) + "/" + script)} +
                arguments);
        if (!m_process.waitForStarted(20000))
            return;
        QByteArray output;
        while (!output.contains('\n') && m_process.waitForReadyRead(20000))
            output += m_process.readAllStandardOutput();
        const auto match = QRegularExpression("port (\\d+)").match(QString::fromUtf8(output));
        if (match.hasMatch())
            m_port = match.captured(1).toInt();
    }
    ~ScriptServer() {
        m_process.kill();
        m_process.waitForFinished();
    }
    ScriptServer(const ScriptServer&) = delete;
    ScriptServer& operator=(const ScriptServer&) = delete;

    // 0 when it did not start.
    int port() const { return m_port; }
    // What it said on failing to start.
    std::string errors() { return m_process.readAllStandardError().toStdString(); }

private:
    QProcess m_process;
    int m_port = 0;
};

// Usage: bench_portal_transfer [megabytes]   (default 200)
// The receiving portal runs in a child process so that each side's peak
// memory (VmHWM) is its own.
#include "DataLink.h"
#include "PortalDesktop.h"
#include "PortalPorts.h"
#include "PortalSetup.h"
#include "Prompter.h"
#include "SocketList.h"
#include "SoundSetting.h"
#include "Speaker.h"
#include "StationIdStore.h"
#include "StationStore.h"
#include "TAVRIXTelnetserver.h"
#include "TransferLogStore.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// Every outside service of the portal, doing nothing and keeping nothing.
struct Quiet : Speaker, Prompter, PortalDesktop, SocketList, SoundSetting
{
    void say(const QString &) override {}
    void inform(const QString &, Icon) override {}
    bool ask(const QString &) override { return true; }
    bool raiseDesk(const QString &) override { return false; }
    void pressAltTab() override {}
    PortalOutcome toggleMute() override { return {}; }
    PortalOutcome read(QStringList &lines) override
    {
        lines.clear();
        return {};
    }
    PortalOutcome store(bool) override { return {}; }
};

struct NoStationId : StationIdStore
{
    QString load() override { return {}; }
    PortalOutcome store(const QString &) override { return {}; }
};

struct NoStations : StationStore
{
    QStringList load() override { return {}; }
    PortalOutcome append(const QString &) override { return {}; }
    PortalOutcome rewrite(const QStringList &) override { return {}; }
};

struct NoTransferLog : TransferLogStore
{
    PortalOutcome append(const TransferRecord &) override { return {}; }
    PortalOutcome readLast(int, TransferLog::Tail *tail) override
    {
        *tail = {};
        return {};
    }
};

struct Silent
{
    Quiet quiet;
    NoStationId stationId;
    NoStations stations;
    NoTransferLog transferLog;
    PortalPorts ports() { return {quiet, quiet, quiet, quiet, quiet, stationId, stations, transferLog}; }
};

qint64 peakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

QByteArray sha1(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
    return hash.result().toHex();
}

PortalSetup setupIn(const QString &home, quint16 listenPort, quint16 peerPort)
{
    PortalSetup setup;
    setup.listenPort = listenPort;
    setup.peerPort = peerPort;
    setup.modemAddress = QStringLiteral("127.0.0.1");
    setup.sendDirectory = QDir(home).filePath(QStringLiteral("mail send"));
    setup.receiveDirectory = QDir(home).filePath(QStringLiteral("mail Receive"));
    setup.programDirectory = home;
    QDir().mkpath(setup.sendDirectory);
    return setup;
}

// Child: one portal that takes one transfer, then reports and ends.
int receiver(const QString &home, quint16 port)
{
    Silent silent;
    TAVRIXTelnetserver portal(setupIn(home, port, 1), silent.ports());
    QObject::connect(&portal.dataLink(), &DataLink::connectionStatusPrepended, [](const QString &line) {
        if (line.startsWith(QStringLiteral("Closed receive file: "))) {
            std::printf("receiver-peak-kib %lld\n", static_cast<long long>(peakKiB()));
            std::fflush(stdout);
            QCoreApplication::exit(0);
        }
    });
    std::printf("ready %d\n", portal.dataLink().listenPort());
    std::fflush(stdout);
    QTimer::singleShot(300000, [] { QCoreApplication::exit(2); });
    return QApplication::exec();
}

// The same bytes through a bare socket pair: read in chunks, write as they arrive.
double plainCopy(const QString &source, const QString &target)
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    QTcpSocket out;
    QFile in(source);
    QFile sink(target);
    in.open(QIODevice::ReadOnly);
    sink.open(QIODevice::WriteOnly);
    QTcpSocket *accepted = nullptr;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        accepted = server.nextPendingConnection();
        QObject::connect(accepted, &QTcpSocket::readyRead, [&] { sink.write(accepted->readAll()); });
        QObject::connect(accepted, &QTcpSocket::disconnected, [&] {
            sink.write(accepted->readAll());
            QCoreApplication::exit(0);
        });
    });
    auto pump = [&] {
        while (out.bytesToWrite() < 256 * 1024 && !in.atEnd())
            out.write(in.read(64 * 1024));
        if (in.atEnd() && out.bytesToWrite() == 0)
            out.disconnectFromHost();
    };
    QObject::connect(&out, &QTcpSocket::connected, pump);
    QObject::connect(&out, &QTcpSocket::bytesWritten, pump);
    out.connectToHost(QHostAddress::LocalHost, server.serverPort());
    QApplication::exec();
    sink.close();
    return clock.elapsed() / 1000.0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == u"--receiver")
        return receiver(args[2], args[3].toUShort());

    const qint64 megabytes = args.size() > 1 ? args[1].toLongLong() : 200;
    QTemporaryDir work;
    const QString senderHome = work.filePath(QStringLiteral("sender"));
    const QString receiverHome = work.filePath(QStringLiteral("receiver"));
    const PortalSetup senderSetup = setupIn(senderHome, 0, 0);
    const QString name = QStringLiteral("File - 14-05-09--12-07-26.txt");
    const QString source = QDir(senderSetup.sendDirectory).filePath(name);
    {
        QFile file(source);
        file.open(QIODevice::WriteOnly);
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        QRandomGenerator generator(7);
        for (qint64 i = 0; i < megabytes; ++i) {
            generator.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
            file.write(block);
        }
    }

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--receiver"), receiverHome, QStringLiteral("0")});
    if (!child.waitForReadyRead(10000)) {
        std::fprintf(stderr, "receiver did not start\n");
        return 1;
    }
    const QList<QByteArray> ready = child.readLine().trimmed().split(' ');
    const quint16 receiverPort = ready.value(1).toUShort();

    Silent silent;
    PortalSetup setup = senderSetup;
    setup.peerPort = receiverPort;
    TAVRIXTelnetserver sender(setup, silent.ports());
    QElapsedTimer clock;
    QByteArray childReport;
    double portalSeconds = 0;
    // The clock stops when the receiver reports the file closed, not when its process has ended.
    QObject::connect(&child, &QProcess::readyReadStandardOutput, [&] {
        childReport += child.readAllStandardOutput();
        if (childReport.contains('\n') && portalSeconds == 0)
            portalSeconds = clock.elapsed() / 1000.0;
    });
    QObject::connect(&child, &QProcess::finished, [] { QCoreApplication::exit(0); });
    sender.findChild<QLineEdit *>(QStringLiteral("Txtremoteip"))->setText(QStringLiteral("127.0.0.1"));
    clock.start();
    sender.findChild<QPushButton *>(QStringLiteral("commandsend"))->click();
    QTimer::singleShot(300000, [] { QCoreApplication::exit(2); });
    QApplication::exec();
    const qint64 senderPeak = peakKiB();

    const QString received = QDir(receiverHome).filePath(QStringLiteral("mail Receive/") + name);
    const bool exact = sha1(source) == sha1(received) && QFileInfo(received).size() == QFileInfo(source).size();
    QFile::remove(received);

    const QString copy = work.filePath(QStringLiteral("plain-copy"));
    const double plainSeconds = plainCopy(source, copy);
    const bool plainExact = QFileInfo(copy).size() == QFileInfo(source).size();

    const double mb = static_cast<double>(megabytes);
    std::printf("file size              %lld MiB\n", static_cast<long long>(megabytes));
    std::printf("portal to portal       %.2f s  %.1f MiB/s  byte-exact: %s\n", portalSeconds, mb / portalSeconds,
                exact ? "yes" : "NO");
    std::printf("plain socket copy      %.2f s  %.1f MiB/s  complete: %s\n", plainSeconds, mb / plainSeconds,
                plainExact ? "yes" : "NO");
    std::printf("sender peak memory     %lld KiB (VmHWM, before the plain copy)\n", static_cast<long long>(senderPeak));
    std::printf("receiver peak memory   %s", childReport.replace("receiver-peak-kib ", "").trimmed().constData());
    std::printf(" KiB (VmHWM)\n");
    return exact ? 0 : 1;
}

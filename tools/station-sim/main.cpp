#include "common/ProgramVersion.h"
#include "tools/station-sim/StationSim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

// station-sim --udp PORT [--answer ack|nak|none|late] [--late-ms N] [--quiet]
//             --serial PATH [--serial-answer ack|none|nth] [--nth N]
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("station-sim"));
    QCoreApplication::setApplicationVersion(ProgramVersion::text());
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Central-station receiver for trying the reporting of Atalaia."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption udp(QStringLiteral("udp"), QStringLiteral("DC-09 UDP port (0: pick a free one)."),
                                 QStringLiteral("port"));
    const QCommandLineOption answer(QStringLiteral("answer"), QStringLiteral("DC-09 answer: ack, nak, none or late."),
                                    QStringLiteral("kind"), QStringLiteral("ack"));
    const QCommandLineOption lateMs(QStringLiteral("late-ms"), QStringLiteral("Delay of a late answer in ms."),
                                    QStringLiteral("ms"), QStringLiteral("1200"));
    const QCommandLineOption serial(QStringLiteral("serial"),
                                    QStringLiteral("Serial device path (for example one end of a pty pair)."),
                                    QStringLiteral("path"));
    const QCommandLineOption serialAnswer(QStringLiteral("serial-answer"),
                                          QStringLiteral("Serial answer: ack, none or nth."), QStringLiteral("kind"),
                                          QStringLiteral("ack"));
    const QCommandLineOption nth(QStringLiteral("nth"),
                                 QStringLiteral("With --serial-answer nth: first attempt answered."),
                                 QStringLiteral("n"), QStringLiteral("2"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("No line per frame: the UDP totals once a second (load runs)."));
    parser.addOptions({udp, answer, lateMs, serial, serialAnswer, nth, quiet});
    parser.process(app);

    QTextStream err(stderr);
    QTextStream out(stdout);
    if (!parser.isSet(udp) && !parser.isSet(serial)) {
        err << "station-sim: give --udp PORT and/or --serial PATH\n";
        return 2;
    }

    StationSim::Options options;
    const QString udpAnswer = parser.value(answer);
    if (udpAnswer == QLatin1String("ack"))
        options.udpAnswer = StationSim::UdpAnswer::Ack;
    else if (udpAnswer == QLatin1String("nak"))
        options.udpAnswer = StationSim::UdpAnswer::Nak;
    else if (udpAnswer == QLatin1String("none"))
        options.udpAnswer = StationSim::UdpAnswer::None;
    else if (udpAnswer == QLatin1String("late"))
        options.udpAnswer = StationSim::UdpAnswer::Late;
    else {
        err << "station-sim: --answer must be ack, nak, none or late\n";
        return 2;
    }
    options.lateMs = parser.value(lateMs).toInt();
    const QString serialKind = parser.value(serialAnswer);
    if (serialKind == QLatin1String("ack"))
        options.serialAnswer = StationSim::SerialAnswer::Ack;
    else if (serialKind == QLatin1String("none"))
        options.serialAnswer = StationSim::SerialAnswer::None;
    else if (serialKind == QLatin1String("nth"))
        options.serialAnswer = StationSim::SerialAnswer::Nth;
    else {
        err << "station-sim: --serial-answer must be ack, none or nth\n";
        return 2;
    }
    options.nth = qMax(1, parser.value(nth).toInt());
    options.quiet = parser.isSet(quiet);

    StationSim station(options);
    if (parser.isSet(udp)) {
        bool ok = false;
        const uint port = parser.value(udp).toUInt(&ok);
        const quint16 bound = ok && port <= 0xFFFF ? station.listenUdp(quint16(port)) : 0;
        if (bound == 0) {
            err << "station-sim: cannot listen on UDP port " << parser.value(udp) << '\n';
            return 1;
        }
        out << "listening on UDP port " << bound << Qt::endl;
    }
    if (parser.isSet(serial)) {
        if (!station.openSerial(parser.value(serial))) {
            err << "station-sim: cannot open " << parser.value(serial) << '\n';
            return 1;
        }
        out << "reading serial " << parser.value(serial) << Qt::endl;
    }
    return app.exec();
}

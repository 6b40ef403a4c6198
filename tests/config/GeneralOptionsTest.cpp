#include "config/GeneralOptions.h"
#include "common/UserInterface.h"
#include "config/ServerConfigFile.h"
#include "config/ValueExchange.h"
#include "tests/config/FakeMulticomControl.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <gtest/gtest.h>

namespace {

struct GeneralOptionsFixture : ::testing::Test {
    GeneralOptionsFixture() {
        settings.UDP = 5000;
        settings.MC = 6000;
    }
    GeneralOptions options() {
        return GeneralOptions(settings, ui, dir.file("Server.cfg"), multicom, [this] { ++restarts; });
    }

    TempDataDir dir;
    RecordingUserInterface ui;
    FakeMulticomControl multicom;
    ServerSettings settings;
    int restarts = 0;
};

} // namespace

TEST_F(GeneralOptionsFixture, ExchangeStopsAtTheFirstRefusedField) {
    GeneralOptions general = options();
    QStringList order;
    general.setInternalEventsExchange([&](ValueExchange&) { order << "internal"; });
    general.setOperatorsExchange([&](ValueExchange&) { order << "operators"; });

    GeneralOptionsForm form = general.form();
    form.udp = QStringLiteral("7001");
    form.mc = QStringLiteral("70000"); // refused
    form.soundNewEvent = false;        // after the refused field: not taken
    form.tavi = QStringLiteral("other.host");
    EXPECT_EQ(general.exchangeValues(form), GeneralControl::Mc);
    EXPECT_EQ(order, QStringList{"internal"});
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("Enter an integer between 0 and 65535."));
    EXPECT_EQ(settings.UDP, 7001u);
    EXPECT_EQ(settings.MC, 6000u);
    EXPECT_EQ(settings.SoundNewEvent, 1);
    EXPECT_EQ(settings.Tavi, QStringLiteral("127.0.0.1"));

    form = general.form();
    form.udp = QStringLiteral("0"); // the UDP port starts at 1
    EXPECT_EQ(general.exchangeValues(form), GeneralControl::Udp);
    EXPECT_EQ(ui.messages.last().text, QStringLiteral("Enter an integer between 1 and 65535."));

    form = general.form();
    form.yellow = QStringLiteral("12a");
    form.logAll = true;
    EXPECT_EQ(general.exchangeValues(form), GeneralControl::Yellow);
    EXPECT_EQ(ui.messages.last().text, QStringLiteral("Enter a positive integer."));
    EXPECT_EQ(ui.messages.last().icon, UserInterface::Icon::Error);
    EXPECT_FALSE(settings.LogAll);

    order.clear();
    form = general.form();
    form.port = QStringLiteral(" 4001 ");
    form.soundOffline = false;
    EXPECT_EQ(general.exchangeValues(form), 0);
    EXPECT_EQ(order, (QStringList{"internal", "operators"}));
    EXPECT_EQ(settings.Port, 4001u);
    EXPECT_EQ(settings.SoundOffline, 0);
    // A section that refuses one of its own fields (and showed its message) stops the rest.
    general.setInternalEventsExchange([](ValueExchange& values) { values.markFailed(565); });
    form = general.form();
    form.udp = QStringLiteral("7002");
    const int messagesBefore = int(ui.messages.size());
    EXPECT_EQ(general.exchangeValues(form), 565);
    EXPECT_EQ(settings.UDP, 7001u);
    EXPECT_EQ(ui.messages.size(), messagesBefore);
    for (const QString& bad : {QStringLiteral("-5"), QString(), QStringLiteral("99999999999")}) {
        quint32 value = 1;
        EXPECT_FALSE(ValueExchange::parseUnsigned(bad, value)) << bad.toStdString();
    }
}

TEST_F(GeneralOptionsFixture, SaveCorrectsTheKeepAliveAndWritesOnlyValidSettings) {
    GeneralOptions general = options();
    GeneralOptionsForm form = general.form();
    form.yellow = QStringLiteral("5");
    form.udp = QStringLiteral("5001");

    GeneralOptions::SaveOutcome outcome = general.SaveServerConfig(form);
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.correctedYellow, 10u);
    EXPECT_EQ(ui.questions, QStringList{"Keep Alive deve estar entre 10 e 600 segundos\nDigite novamente"});
    EXPECT_FALSE(dir.exists("Server.cfg"));
    EXPECT_EQ(restarts, 0);

    // The second Save writes 10, and still applies the UDP port the first one took.
    form.yellow = QString::number(outcome.correctedYellow);
    outcome = general.SaveServerConfig(form);
    EXPECT_TRUE(outcome.written);
    EXPECT_EQ(restarts, 1);
    ServerSettings reread;
    ServerConfigFile::parse(dir.read("Server.cfg"), reread);
    EXPECT_EQ(reread.Yellow, 10u);
    EXPECT_EQ(reread.UDP, 5001u);
    EXPECT_EQ(dir.read("Server.cfg"), ServerConfigFile::serialize(settings));

    form.yellow = QStringLiteral("601");
    EXPECT_EQ(general.SaveServerConfig(form).correctedYellow, 600u);

    // Only TCP or MC changed: written, nothing restarted.
    form = general.form();
    form.tcp = QStringLiteral("81");
    form.mc = QStringLiteral("6001");
    EXPECT_TRUE(general.SaveServerConfig(form).written);
    EXPECT_EQ(restarts, 1);
    EXPECT_TRUE(dir.read("Server.cfg").contains("TCP 81\r\nMC 6001\r\n"));
    EXPECT_TRUE(multicom.opened.isEmpty()); // the Multicom port acts at the switch only

    // A refused field is reported, the Save goes on with the values taken.
    form = general.form();
    form.port = QStringLiteral("65536");
    outcome = general.SaveServerConfig(form);
    EXPECT_TRUE(outcome.written);
    EXPECT_EQ(outcome.refusedControl, GeneralControl::Port);
}

TEST_F(GeneralOptionsFixture, BoxesActAtOnceAndTheSoundValueSurvivesTheExchange) {
    settings.SoundNewEvent = 7;
    GeneralOptions general = options();
    GeneralOptionsForm form = general.form();
    EXPECT_TRUE(form.soundNewEvent);
    EXPECT_TRUE(general.SaveServerConfig(form).written);
    EXPECT_TRUE(dir.read("Server.cfg").contains("SoundNewEvent    7\r\n"));

    general.checkBoxClicked(GeneralControl::SoundNewEvent, false);
    general.checkBoxClicked(GeneralControl::SoundAckFail, false);
    general.checkBoxClicked(GeneralControl::AnonymEntry, true);
    general.checkBoxClicked(GeneralControl::LogAll, true);
    EXPECT_EQ(settings.SoundNewEvent, 0);
    EXPECT_EQ(settings.SoundAckFail, 0);
    EXPECT_TRUE(settings.AnonymEntry);
    EXPECT_TRUE(settings.LogAll);
}

TEST_F(GeneralOptionsFixture, MulticomSwitchNeedsAPort) {
    GeneralOptions general = options();
    for (const QString& text : {QStringLiteral(""), QStringLiteral("0"), QStringLiteral("abc")}) {
        EXPECT_EQ(general.multicomClicked(true, text), GeneralOptions::MulticomSwitch::PortMissing);
        EXPECT_EQ(ui.messages.last().text, QStringLiteral("Informe porta Multicomm antes de habilitar este protocolo"));
    }
    EXPECT_TRUE(settings.EnableMulticom); // the box stays on
    EXPECT_EQ(settings.MC, 0u);
    EXPECT_TRUE(multicom.opened.isEmpty());

    EXPECT_EQ(general.multicomClicked(true, QStringLiteral("70000")), GeneralOptions::MulticomSwitch::PortInvalid);
    EXPECT_TRUE(multicom.opened.isEmpty());

    EXPECT_EQ(general.multicomClicked(true, QStringLiteral("6100")), GeneralOptions::MulticomSwitch::Switched);
    EXPECT_EQ(multicom.opened, QList<quint16>{6100});
    EXPECT_EQ(settings.MC, 6100u);
    EXPECT_EQ(general.multicomClicked(true, QStringLiteral("70001")), GeneralOptions::MulticomSwitch::PortInvalid);
    EXPECT_EQ(settings.MC, 6100u) << "the refused port is not kept for the next Salvar";

    EXPECT_EQ(general.multicomClicked(false, QStringLiteral("6100")), GeneralOptions::MulticomSwitch::Switched);
    EXPECT_EQ(multicom.closes, 1);
    EXPECT_FALSE(settings.EnableMulticom);
}

#include "config/ui/ConfigPage.h"
#include "config/GeneralOptions.h"
#include "tests/config/FakeMulticomControl.h"
#include "tests/support/RecordingUserInterface.h"
#include "tests/support/TempDataDir.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct ConfigPageFixture : ::testing::Test {
    ConfigPageFixture() {
        settings.UDP = 5000;
        settings.MC = 6000;
    }
    ConfigPage& makePage() {
        options =
            std::make_unique<GeneralOptions>(settings, ui, dir.file("Server.cfg"), multicom, [this] { ++restarts; });
        page = std::make_unique<ConfigPage>(*options, ui);
        return *page;
    }
    template <typename T> T* find(const char* name) { return page->findChild<T*>(QLatin1String(name)); }

    TempDataDir dir;
    RecordingUserInterface ui;
    FakeMulticomControl multicom;
    ServerSettings settings;
    int restarts = 0;
    std::unique_ptr<GeneralOptions> options;
    std::unique_ptr<ConfigPage> page;
};

} // namespace

TEST_F(ConfigPageFixture, LayoutTextsAndHiddenControls) {
    ConfigPage& p = makePage();
    EXPECT_EQ(find<QGroupBox>("group700")->title(), QStringLiteral("Opções gerais"));
    EXPECT_EQ(find<QLabel>("label713")->text(), QStringLiteral("Porta UDP:"));
    EXPECT_EQ(find<QCheckBox>("check716")->text(), QStringLiteral("Modo anônimo"));
    EXPECT_EQ(find<QPushButton>("button719")->text(), QStringLiteral("Salvar"));
    EXPECT_EQ(p.reportSection()->title(), QStringLiteral("Reportar"));
    EXPECT_EQ(p.operatorsSection()->title(), QStringLiteral("Operadores"));
    EXPECT_EQ(p.internalEventsSection()->title(), QStringLiteral("Eventos Internos"));
    EXPECT_EQ(find<QLineEdit>("edit502")->text(), QStringLiteral("5000"));

    p.resize(600, 150);
    p.show();
    EXPECT_TRUE(find<QLineEdit>("edit502")->isVisible());
    EXPECT_FALSE(find<QLineEdit>("edit504")->isVisible());
    EXPECT_FALSE(find<QLabel>("label714")->isVisible());
    EXPECT_FALSE(find<QCheckBox>("check717")->isVisible());
    EXPECT_FALSE(find<QCheckBox>("check711")->isEnabled());
    EXPECT_FALSE(find<QLineEdit>("edit505")->isVisible());          // Multicom off
    EXPECT_TRUE(multicom.opened.isEmpty() && multicom.closes == 0); // the listener is not the page's to open
    EXPECT_GT(p.verticalScrollBar()->maximum(), 0);                 // the page is taller than the tab

    // Without operators the page always shows; a refused right hides it.
    p.activate();
    EXPECT_TRUE(ui.messages.isEmpty());
    p.setAccessCheck([] { return false; });
    p.activate();
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("Acesso não permitido!"));
    EXPECT_FALSE(p.widget()->isVisible());
}

TEST_F(ConfigPageFixture, ChangesEnableSaveAndKeepAliveIsCorrected) {
    ConfigPage& p = makePage();
    auto* save = find<QPushButton>("button719");
    p.disableGeneralSave();
    find<QCheckBox>("check707")->click();
    EXPECT_EQ(settings.SoundNewEvent, 0); // stored before any Save
    EXPECT_TRUE(save->isEnabled());

    p.disableGeneralSave();
    find<QLineEdit>("edit501")->setText(QStringLiteral("5"));
    EXPECT_TRUE(save->isEnabled());
    save->click();
    EXPECT_EQ(find<QLineEdit>("edit501")->text(), QStringLiteral("10"));
    EXPECT_TRUE(save->isEnabled());
    EXPECT_FALSE(dir.exists("Server.cfg"));
    save->click();
    EXPECT_TRUE(dir.read("Server.cfg").contains("Yellow 10\r\n"));
    EXPECT_FALSE(save->isEnabled());

    // Only TCP or MC changed: nothing restarted; UDP changed: restarted.
    find<QLineEdit>("edit504")->setText(QStringLiteral("81"));
    find<QLineEdit>("edit505")->setText(QStringLiteral("6001"));
    save->click();
    EXPECT_EQ(restarts, 0);
    find<QLineEdit>("edit502")->setText(QStringLiteral("5002"));
    save->click();
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(settings.UDP, 5002u);

    // A refused field leaves Save enabled.
    find<QLineEdit>("edit502")->setText(QStringLiteral("70000"));
    save->click();
    EXPECT_EQ(ui.messages.last().text, QStringLiteral("Enter an integer between 1 and 65535."));
    EXPECT_TRUE(save->isEnabled());
    EXPECT_EQ(settings.UDP, 5002u);
}

TEST_F(ConfigPageFixture, MulticomSwitchAtCreationAndByClick) {
    settings.EnableMulticom = true;
    settings.MC = 0;
    ConfigPage& p = makePage();
    auto* save = find<QPushButton>("button719");
    // The receiver opens the listener at start, window or not; the page only shows the switch.
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_TRUE(multicom.opened.isEmpty());
    options->multicomClicked(true, QStringLiteral("0")); // what the start does
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("Informe porta Multicomm antes de habilitar este protocolo"));
    EXPECT_TRUE(multicom.opened.isEmpty());
    EXPECT_FALSE(save->isEnabled()); // the zero port leaves Save as it was
    p.show();
    EXPECT_TRUE(find<QLineEdit>("edit505")->isVisible());

    auto* box = find<QCheckBox>("check717");
    box->click(); // off
    EXPECT_FALSE(settings.EnableMulticom);
    EXPECT_FALSE(find<QLineEdit>("edit505")->isVisible());
    EXPECT_TRUE(save->isEnabled());

    find<QLineEdit>("edit505")->setText(QStringLiteral("6200"));
    box->click(); // on
    EXPECT_EQ(multicom.opened, QList<quint16>{6200});
    EXPECT_TRUE(find<QLineEdit>("edit505")->isVisible());
}

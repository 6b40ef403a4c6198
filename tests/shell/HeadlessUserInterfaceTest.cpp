#include "shell/HeadlessUserInterface.h"
#include "tests/support/TestNames.h"

#include <QByteArrayList>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

// What the service says on standard error: a text of several lines keeps its
// line breaks (the journal shows them as lines, not as a literal "\n"), its
// further lines indented under the first.

namespace {

struct SayCase {
    const char* name;
    std::function<void(HeadlessUserInterface&)> say;
    QByteArrayList lineEnds; // what each written line ends with, after its time and "atalaia: "
};

class HeadlessSayingTest : public ::testing::TestWithParam<SayCase> {};

QByteArray written(const std::function<void(HeadlessUserInterface&)>& say) {
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    {
        HeadlessUserInterface ui(out);
        say(ui);
    }
    std::fclose(out);
    const QByteArray text(buffer, qsizetype(size));
    std::free(buffer);
    return text;
}

} // namespace

TEST_P(HeadlessSayingTest, KeepsTheTextsLineBreaks) {
    const QByteArray text = written(GetParam().say);
    EXPECT_FALSE(text.contains("\\n")) << text.constData();
    ASSERT_TRUE(text.endsWith('\n'));
    const QByteArrayList lines = text.chopped(1).split('\n');
    ASSERT_EQ(lines.size(), GetParam().lineEnds.size()) << text.constData();
    EXPECT_TRUE(lines.first().contains(" atalaia: ")) << text.constData();
    for (qsizetype i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].endsWith(GetParam().lineEnds[i])) << i << ": " << lines[i].constData();
    for (qsizetype i = 1; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].startsWith("    ")) << "a further line is indented: " << lines[i].constData();
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HeadlessSayingTest,
    ::testing::Values(
        SayCase{"question of two lines",
                [](HeadlessUserInterface& ui) {
                    ui.askYesNo(QStringLiteral("Portas não definidas.\nContinuar?"), UserInterface::Icon::Question,
                                true);
                },
                {"Portas n\xc3\xa3o definidas.", "Continuar? -> Yes (no operator: the default)"}},
        SayCase{"question of three lines answered No",
                [](HeadlessUserInterface& ui) {
                    ui.askYesNo(QStringLiteral("\"Server.cfg\" faltando ou corrompido.\nContinuar?\nConfiguração "
                                               "default será aplicada"),
                                UserInterface::Icon::Question, false);
                },
                {"\"Server.cfg\" faltando ou corrompido.", "Continuar?",
                 "Configura\xc3\xa7\xc3\xa3o default ser\xc3\xa1 aplicada -> No (no operator: the default)"}},
        SayCase{"message of one line",
                [](HeadlessUserInterface& ui) {
                    ui.showMessage(QStringLiteral("Acesso não permitido!"), UserInterface::Icon::Exclamation);
                },
                {"Acesso n\xc3\xa3o permitido!"}}),
    TestNames::fromCaseName<SayCase>);

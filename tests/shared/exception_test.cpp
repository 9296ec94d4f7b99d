#include <gtest/gtest.h>

#include <QLibrary>

#include <thread>

#include "error_reply.h"
#include "exception.h"
#include "external_exceptions.h"
#include "process_env.h"

namespace {

namespace env = zorva::plugin::process_env;
using namespace zorva::plugin::exception;

class ExceptionTest : public testing::Test {
protected:
    void SetUp() override { resetLastError(); }
};

// Runs the body and hands back what it threw, for the mapping helpers.
template <class Body>
ErrorTexts describe(Body body) {
    try {
        body();
    } catch (const std::exception&) {
        return describeCurrentException();
    }
    ADD_FAILURE() << "nothing thrown";
    return {};
}

TEST_F(ExceptionTest, ConstructionPublishesCodeCategoryAndMessage) {
    ApplicationException error(ApplicationCode::FileNotFound);
    EXPECT_EQ(lastErrorText(), "20009 Application 'Файл не найден'");
    EXPECT_EQ(error.message(), "Файл не найден");
    EXPECT_STREQ(error.what(), "20009 Application 'Файл не найден'");
}

TEST_F(ExceptionTest, UnassignedCodeHasUnknownText) {
    ApplicationException error(20011);
    EXPECT_EQ(lastErrorText(), "20011 Application 'unknown app error'");
    EXPECT_EQ(ApplicationException(-7).code().value(), -7);
    EXPECT_EQ(env::get("__ex_code"), "-7");
}

TEST_F(ExceptionTest, LastAttachedDetailIsTheOnlyExtra) {
    const auto error = ApplicationException(ApplicationCode::MethodNotFound)
                       << Module_("m") << Method_("x");
    EXPECT_STREQ(error.what(), "20005 Application 'Не найден метод': x");
    const ErrorTexts texts = describe([&] { throw error; });
    EXPECT_EQ(texts.log, "unsupported method \"x\", module \"m\"");
    EXPECT_EQ(texts.code, "20005");
    EXPECT_EQ(texts.applicationCode, ApplicationCode::MethodNotFound);
    EXPECT_EQ(texts.error, "Не найден метод");
    EXPECT_EQ(texts.errorMessage, "20005 Application 'Не найден метод': x");
}

TEST_F(ExceptionTest, DetailQuotingEscapesAndMissingDetailsAreEmpty) {
    const auto texts = describe(
        [] { throw ApplicationException(ApplicationCode::MethodNotFound) << Method_("a\"b\\c"); });
    EXPECT_EQ(texts.log, "unsupported method \"a\\\"b\\\\c\", module \"\"");
}

TEST_F(ExceptionTest, EachExceptionKeepsItsOwnTextsWhileTheSlotHoldsTheLatest) {
    const auto first = ApplicationException(ApplicationCode::MethodNotFound) << Method_("mine");
    const auto second = ApplicationException(ApplicationCode::MalformedData) << Message_("theirs");

    const ErrorTexts texts = describe([&] { throw first; });

    EXPECT_STREQ(first.what(), "20005 Application 'Не найден метод': mine");
    EXPECT_EQ(texts.errorMessage, "20005 Application 'Не найден метод': mine");
    EXPECT_EQ(texts.error, "Не найден метод");
    EXPECT_EQ(lastErrorText(), "20022 Application 'Некорректный формат данных': theirs");
    EXPECT_STREQ(LastError().what(), "20022 Application 'Некорректный формат данных': theirs");
}

TEST_F(ExceptionTest, FileInfoAndStringExtrasAreJoinedByComma) {
    env::set("__ex_fileinfo", "F");
    env::set("__ex_string", "S");
    EXPECT_EQ(lastErrorText(), "0 Application 'Успешное выполнение операции': F,S");
    env::set("__ex_fileinfo", "");
    EXPECT_EQ(lastErrorText(), "0 Application 'Успешное выполнение операции': ,S");
}

TEST_F(ExceptionTest, ResetRemovesEveryPrefixedVariableButNotOtherCase) {
    env::set("__ex_other", "1");
    env::set("__EX_code", "2");
    resetLastError();
    EXPECT_FALSE(env::get("__ex_other"));
    EXPECT_EQ(env::get("__EX_code"), "2");
    EXPECT_EQ(lastErrorText(), "0 Application 'Успешное выполнение операции'");
    env::unset("__EX_code");
}

TEST_F(ExceptionTest, RaiseRecordsFileLineAndOperation) {
    try {
        PLUGIN_THROW(ApplicationException(ApplicationCode::AssemblyFailed), "messageFromChunks");
    } catch (const std::system_error& error) {
        const std::string what = error.what();
        EXPECT_EQ(what.rfind(
                      "20024 Application 'Ошибка при формировании файла'\t(exception_test.cpp:", 0),
                  0u)
            << what;
        EXPECT_NE(what.find(") messageFromChunks"), std::string::npos);
    }
    EXPECT_THROW(PLUGIN_THROW(ApplicationException(1), "op"), boost::exception);
    EXPECT_THROW(PLUGIN_THROW(ApplicationException(1), "op"), Exception);
}

TEST_F(ExceptionTest, ForeignExceptionBecomesGeneralError) {
    const auto texts = describe([] { throw std::runtime_error("T"); });
    EXPECT_EQ(texts.code, "20001");
    EXPECT_EQ(texts.errorMessage, "20001 Application 'Общая ошибка': T");
    EXPECT_EQ(texts.error, "T");
    EXPECT_EQ(texts.log, texts.errorMessage);
    EXPECT_EQ(texts.applicationCode, std::nullopt);
}

// A module's own exception type, as a module defines it.
class ProbeModuleException : public ModuleException {
public:
    using ModuleException::ModuleException;
};

TEST_F(ExceptionTest, ModuleExceptionTypesKeepTheirOwnCodes) {
    const auto probe =
        describe([] { throw ProbeModuleException(std::error_code(-3, std::generic_category())); });
    EXPECT_EQ(probe.code, "-3");
    EXPECT_EQ(probe.errorMessage, "-3 generic '" + std::generic_category().message(-3) + "'");
    EXPECT_EQ(probe.error, std::generic_category().message(-3));
    EXPECT_EQ(probe.applicationCode, std::nullopt);

    const auto xml =
        describe([] { throw XmlException(std::error_code(7, std::generic_category())); });
    EXPECT_EQ(xml.code, "7");
    EXPECT_EQ(xml.error, xml.log);
    EXPECT_EQ(xml.errorMessage.rfind("7 generic '", 0), 0u) << xml.errorMessage;
}

TEST_F(ExceptionTest, InterruptAndCancelHaveTheirOwnLogTexts) {
    EXPECT_EQ(describe([] { throw ApplicationException(ApplicationCode::SessionInterrupted); }).log,
              "session: message handler interrupted by zorva.entension");
    EXPECT_EQ(describe([] { throw ApplicationException(ApplicationCode::Cancelled); }).log,
              "session: message handler cancelled. 20003 Application 'Операция отменена "
              "пользователем'");
}

TEST_F(ExceptionTest, ApplyErrorFillsReplyAndOnlyAnExistingMessageLog) {
    zorva::plugin::format::Message reply;
    reply.meta.data["messageLog"] = "";
    const ErrorTexts texts{"20010", "m", "e", "log text"};
    applyError(texts, reply);
    EXPECT_EQ(reply.code, "20010");
    EXPECT_EQ(reply.errorMessage, "m");
    EXPECT_EQ(reply.error, "e");
    EXPECT_EQ(reply.meta.data["messageLog"], "log text");

    zorva::plugin::format::Message plain;
    applyError(texts, plain);
    EXPECT_TRUE(plain.meta.data.empty());
}

TEST_F(ExceptionTest, ModuleCopyOfTheCodeSharesSlotAndTypeIdentity) {
    QLibrary probe(PROBE_LIBRARY);
    ASSERT_TRUE(probe.load()) << probe.errorString().toStdString();
    auto raise = reinterpret_cast<void (*)(int)>(probe.resolve("probeRaise"));
    ASSERT_TRUE(raise);
    try {
        raise(20013);
        FAIL() << "nothing thrown";
    } catch (const ApplicationException& error) {
        EXPECT_EQ(error.code().value(), 20013);
        EXPECT_EQ(lastErrorText(), "20013 Application 'Отсутствует реализация': probe");
        EXPECT_EQ(describe([&] { throw; }).code, "20013");
    }
}

TEST_F(ExceptionTest, ConcurrentErrorsLeaveAConsistentSlot) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 500; ++i) {
                ApplicationException error(20001 + t);
                EXPECT_FALSE(std::string(error.what()).empty());
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(env::get("__ex_category"), "Application");
}

}  // namespace

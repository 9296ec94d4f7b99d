#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

#include <optional>

// The host's command line, as browsers, installers and users give it.
namespace zorva::plugin::command_line {

QCommandLineOption configOption();
QCommandLineOption parentWindowOption();
QCommandLineOption protocolOption();
QCommandLineOption requestOption();
QCommandLineOption agentOption();
// A flag here, so the provider name after it is a positional argument.
QCommandLineOption algorithmsOption();
// The same names, taking the provider name as their value.
QCommandLineOption algorithmsProviderOption();

// Description, help, version, the browser's positional arguments, then the
// six options.
void setUp(QCommandLineParser& parser);

// The option's value when the process arguments hold that option and
// nothing but positional arguments besides. Prints nothing and never exits.
std::optional<QString> soleOptionValue(const QCommandLineOption& option);

}  // namespace zorva::plugin::command_line

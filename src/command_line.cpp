#include "command_line.h"

#include <QCoreApplication>

namespace zorva::plugin::command_line {

QCommandLineOption configOption() {
    return {{"c", "config"}, "Configure application runtime environment", "file"};
}

QCommandLineOption parentWindowOption() {
    return {{"p", "parent-window"}, "Set communication with chrome extension", "number"};
}

QCommandLineOption protocolOption() {
    return {{"P", "protocol"}, "Set communication protocol", "string"};
}

QCommandLineOption requestOption() {
    return {{"r", "request"}, "Get request from local file", "file"};
}

QCommandLineOption agentOption() { return {{"a", "agent"}, "Print agent info and exit"}; }

QCommandLineOption algorithmsOption() {
    return {{"A", "algorithms"}, "Print algorithms for provider"};
}

QCommandLineOption algorithmsProviderOption() {
    return {{"A", "algorithms"}, "Print algorithms for provider", "provider name"};
}

void setUp(QCommandLineParser& parser) {
    parser.setApplicationDescription("Application options");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("browser-positional-args", "Positional arguments from browser",
                                 "");
    parser.addOptions({configOption(), parentWindowOption(), protocolOption(), requestOption(),
                       agentOption(), algorithmsOption()});
}

std::optional<QString> soleOptionValue(const QCommandLineOption& option) {
    QCommandLineParser parser;
    parser.addOption(option);
    if (!parser.parse(QCoreApplication::arguments()) || !parser.isSet(option)) return std::nullopt;
    return parser.value(option);
}

}  // namespace zorva::plugin::command_line

#pragma once

#include <QTranslator>

#include <memory>
#include <string>

namespace zorva::plugin {

// The installation step of the config option: resets the configuration,
// style and localization files from the given configuration file, or from
// the branding's resources when configPath is empty, and copies the token
// libraries next to the program. A given file that does not exist changes
// nothing. File-system errors propagate; the steps done before stay done.
void configureEnvironment(const std::string& configPath);

// Adds the application fonts; a font that cannot be loaded is skipped.
void registerFonts();

// Loads the translation next to the program and installs it when its
// language is the one the user reads first; the windows' texts are written
// in English. Failures are warnings: the host then shows its English texts.
// The translator must outlive the application's use of it.
std::unique_ptr<QTranslator> installTranslator();

}  // namespace zorva::plugin

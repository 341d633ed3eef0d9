#pragma once

#include <stdexcept>
#include <string>

namespace veltrane {

/// A plug-in that cannot be hosted. `what()` is the message shown to the user.
class PluginError : public std::runtime_error {
public:
    enum class Case {
        /// No installed plug-in has the URI.
        notFound,
        /// The plug-in needs a host feature we do not provide.
        missingFeature,
        /// The plug-in has a port we cannot connect.
        unsupportedPort,
        /// The plug-in's own code refused to start.
        instantiationFailed,
    };

    PluginError(Case which, const std::string& message) : std::runtime_error(message), which_(which) {}

    Case which() const noexcept { return which_; }

private:
    Case which_;
};

} // namespace veltrane

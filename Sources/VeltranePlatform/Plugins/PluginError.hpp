#pragma once

#include <stdexcept>
#include <string>
#include <utility>

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

    PluginError(Case which, const std::string& message, std::string detail = {})
        : std::runtime_error(message), which_(which), detail_(std::move(detail))
    {
    }

    Case which() const noexcept { return which_; }
    /// Why, in the words of whatever refused (the system's library loader, for instance); empty when
    /// the message says all there is to say.
    const std::string& detail() const noexcept { return detail_; }

private:
    Case which_;
    std::string detail_;
};

} // namespace veltrane

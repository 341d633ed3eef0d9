// A small program over the application library for the crash tests: it runs the real model with its own
// clock, user defaults and autosave folder (from XDG_DATA_HOME), and is killed by the test.
//
//     VeltraneModelChild edit     runs the edit script, prints "written" once its autosave is on disk,
//                                 then waits to be killed
//     VeltraneModelChild report   prints "recovery none", or "recovery " and the recovered document
//     VeltraneModelChild churn    recovers what it finds (printing "found N" or "found none"), then
//                                 renames the project "Generation N" for N = found + 1, found + 2, ...
//                                 every 700 ms, with tens of MB of embedded sample in it, printing
//                                 "written N" as each generation's autosave lands

#include "ModelScript.hpp"

#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

using namespace veltrane;

namespace {

void say(const std::string& line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

AppModelServices services()
{
    AppModelServices services;
    // The real engine without an output device: the model's edits reach it, no sound card is needed.
    services.audio = std::make_unique<AudioEngineControl>(
        std::make_unique<AudioEngine>(AudioEngine::Options{.device = std::nullopt}));
    services.audioUnitComponents = [](std::uint32_t) { return std::vector<AudioUnitReference>{}; };
    return services;
}

constexpr std::size_t churnSampleBytes = 40u << 20;

int generationOf(const Project& project)
{
    const std::string prefix = "Generation ";
    if (project.name.rfind(prefix, 0) != 0) return -1;
    return std::stoi(project.name.substr(prefix.size()));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("Veltrane");
    const std::string mode = argc > 1 ? argv[1] : "";

    AppModel model(true, std::nullopt, services());

    if (mode == "version") {
        say("version " + model.version());
        return 0;
    }
    if (mode == "report") {
        if (!model.recoveryAvailable()) {
            say("recovery none");
            return 0;
        }
        model.recoverAutosave();
        say("recovery " + testing::describeDocument(model.project()));
        return 0;
    }

    if (mode == "edit") {
        model.setOnAutosaveWritten([](const Project&) { say("written"); });
        testing::runEditScript(model);
        return app.exec();
    }

    if (mode == "churn") {
        int generation = 0;
        if (model.recoveryAvailable()) {
            model.recoverAutosave();
            generation = generationOf(model.project());
            say("found " + std::to_string(generation));
        } else {
            say("found none");
        }
        model.setOnAutosaveWritten(
            [](const Project& project) { say("written " + std::to_string(generationOf(project))); });
        const bool hasSample = std::any_of(model.project().instruments.begin(), model.project().instruments.end(),
                                           [](const Instrument& instrument) {
                                               return std::holds_alternative<EmbeddedSource>(instrument.source);
                                           });
        auto next = [&model, &generation, hasSample, first = true]() mutable {
            ++generation;
            const bool addSample = first && !hasSample;
            first = false;
            model.mutate([&](Project& project) {
                if (addSample) {
                    std::vector<std::uint8_t> bytes(churnSampleBytes);
                    std::mt19937 random(7);
                    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
                    project.instruments.push_back(Instrument::withData("Large", Data(std::move(bytes)), "large.wav"));
                }
                project.name = "Generation " + std::to_string(generation);
            });
        };
        next();
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, next);
        timer.start(700);
        return app.exec();
    }

    std::fprintf(stderr, "usage: VeltraneModelChild edit|report|churn\n");
    return 2;
}

#include "VeltranePlatform/MIDI/MIDIPorts.hpp"

#include "VeltranePlatform/Audio/ThreadCancellation.hpp"
#include "VeltranePlatform/MIDI/HostTime.hpp"
#include "VeltranePlatform/MIDI/MIDIPortChoice.hpp"
#include "VeltranePlatform/MIDI/MIDISendQueue.hpp"

#include <RtMidi.h>
#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

namespace veltrane {

namespace {

/// True when a JACK server answers. Asked quietly: on a machine without JACK the client library would
/// otherwise print its failure to connect, and no server is nothing to report.
bool jackServerRuns()
{
    auto* const errorCallback = jack_error_callback;
    auto* const infoCallback = jack_info_callback;
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    jack_status_t status{};
    jack_client_t* probe = jack_client_open("veltrane-midi-probe", JackNoStartServer, &status);
    if (probe != nullptr) jack_client_close(probe);
    jack_set_error_function(errorCallback);
    jack_set_info_function(infoCallback);
    return probe != nullptr;
}

/// The ports of one RtMidi object's listing (sources for an input, destinations for an output).
std::vector<std::string> portNames(RtMidi& rtMidi)
{
    std::vector<std::string> names;
    const unsigned count = rtMidi.getPortCount();
    for (unsigned i = 0; i < count; ++i) names.push_back(rtMidi.getPortName(i));
    return names;
}

} // namespace

/// One MIDI service with our two ports on it.
struct MIDIBackend {
    MIDIPorts::Service service;
    int stream = 0;
    const MIDIPorts::BytesHandler* handler = nullptr;
    std::unique_ptr<RtMidiIn> input;
    std::unique_ptr<RtMidiOut> output;
    bool failed = false;
    snd_seq_t* sequencer = nullptr; // ALSA: our own handle, for subscriptions only
    bool sequencerAlsoOpen = false;

    std::vector<std::string> seenSources;
    std::vector<std::string> seenDestinations;
    std::vector<std::string> connectedSources;
    std::vector<std::string> connectedDestinations;

    ~MIDIBackend()
    {
        // Close the input first: nothing more is delivered to a handler that is going away.
        input.reset();
        if (output && service == MIDIPorts::Service::jack) {
            // RtMidi frees its JACK output's queue before it closes the client, while JACK's thread may be
            // reading that queue: close the port first, which that thread checks before it reads, and let
            // a cycle under way end.
            try {
                output->closePort();
            } catch (const RtMidiError&) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        output.reset();
        if (sequencer != nullptr) snd_seq_close(sequencer);
    }

    static void received(double, std::vector<unsigned char>* message, void* argument)
    {
        // The service's receive thread (JACK's process thread): no allocation, no lock; and no cancel of
        // that thread inside the handler (see ThreadCancellation.hpp).
        const int cancellation = detail::holdThreadCancellation();
        deliver(message, static_cast<MIDIBackend*>(argument));
        detail::releaseThreadCancellation(cancellation);
    }

    static void deliver(const std::vector<unsigned char>* message, MIDIBackend* self) noexcept
    {
        if (message == nullptr || message->empty() || !*self->handler) return;
        const std::size_t size = std::min(message->size(), MIDIPorts::maximumDeliveryBytes);
        (*self->handler)(self->stream, std::span<const std::uint8_t>(message->data(), size), hostTimeNanos());
    }

    static void error(RtMidiError::Type type, const std::string&, void* argument)
    {
        // Warnings (a port number gone between listing and opening) are part of a changing machine.
        if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING) static_cast<MIDIBackend*>(argument)->failed = true;
    }

    bool open(RtMidi::Api api)
    {
        try {
            input = std::make_unique<RtMidiIn>(api, MIDIPorts::clientName, 1000);
            input->setErrorCallback(&MIDIBackend::error, this);
            // Everything goes to the parser, which decides what it reads: clocks above all.
            input->ignoreTypes(false, false, false);
            input->setCallback(&MIDIBackend::received, this);
            input->openVirtualPort(MIDIPorts::inputPortName);
            output = std::make_unique<RtMidiOut>(api, MIDIPorts::clientName);
            output->setErrorCallback(&MIDIBackend::error, this);
            output->openVirtualPort(MIDIPorts::outputPortName);
        } catch (const RtMidiError&) {
            failed = true;
        }
        if (service == MIDIPorts::Service::alsaSequencer && !failed) {
            failed = snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0;
            if (!failed) snd_seq_set_client_name(sequencer, MIDIPorts::clientName);
        }
        return !failed;
    }

    void send(std::span<const std::uint8_t> bytes)
    {
        try {
            output->sendMessage(bytes.data(), bytes.size());
        } catch (const RtMidiError&) {
        }
    }

    void rescan()
    {
        if (service == MIDIPorts::Service::jack) {
            rescanJack();
        } else {
            rescanALSA();
        }
    }

    void rescanJack()
    {
        // RtMidi's JACK ports take one more connection each time a port is opened on them.
        auto sources = portNames(*input);
        if (sources != seenSources) {
            seenSources = sources;
            connectedSources.clear();
            std::vector<MIDIPortListing> listing;
            for (const auto& name : sources) listing.push_back({.name = name, .source = true});
            for (const std::size_t i : chooseMIDIPorts(listing, sequencerAlsoOpen).sources) {
                input->openPort(static_cast<unsigned>(i), MIDIPorts::inputPortName);
                connectedSources.push_back(sources[i]);
            }
        }
        auto destinations = portNames(*output);
        if (destinations != seenDestinations) {
            seenDestinations = destinations;
            connectedDestinations.clear();
            std::vector<MIDIPortListing> listing;
            for (const auto& name : destinations) listing.push_back({.name = name, .destination = true});
            for (const std::size_t i : chooseMIDIPorts(listing, sequencerAlsoOpen).destinations) {
                output->openPort(static_cast<unsigned>(i), MIDIPorts::outputPortName);
                connectedDestinations.push_back(destinations[i]);
            }
        }
    }

    struct SequencerPort {
        snd_seq_addr_t address;
        MIDIPortListing listing;
    };

    std::vector<SequencerPort> sequencerPorts() const
    {
        std::vector<SequencerPort> ports;
        snd_seq_client_info_t* client = nullptr;
        snd_seq_port_info_t* port = nullptr;
        snd_seq_client_info_alloca(&client);
        snd_seq_port_info_alloca(&port);
        snd_seq_client_info_set_client(client, -1);
        while (snd_seq_query_next_client(sequencer, client) >= 0) {
            const int id = snd_seq_client_info_get_client(client);
            if (id == SND_SEQ_CLIENT_SYSTEM) continue; // timer and announcements
            const std::string clientName = snd_seq_client_info_get_name(client);
            const bool ours = snd_seq_client_info_get_pid(client) == ::getpid();
            snd_seq_port_info_set_client(port, id);
            snd_seq_port_info_set_port(port, -1);
            while (snd_seq_query_next_port(sequencer, port) >= 0) {
                constexpr unsigned readable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
                constexpr unsigned writable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
                const unsigned capability = snd_seq_port_info_get_capability(port);
                ports.push_back({*snd_seq_port_info_get_addr(port),
                                 {.name = clientName + ":" + snd_seq_port_info_get_name(port),
                                  .source = (capability & readable) == readable,
                                  .destination = (capability & writable) == writable,
                                  .ours = ours,
                                  .through = clientName == "Midi Through"}});
            }
        }
        return ports;
    }

    void subscribe(snd_seq_addr_t sender, snd_seq_addr_t destination)
    {
        snd_seq_port_subscribe_t* subscription = nullptr;
        snd_seq_port_subscribe_alloca(&subscription);
        snd_seq_port_subscribe_set_sender(subscription, &sender);
        snd_seq_port_subscribe_set_dest(subscription, &destination);
        snd_seq_subscribe_port(sequencer, subscription); // an existing subscription stays as it is
    }

    void rescanALSA()
    {
        // RtMidi's sequencer ports take a single connection of their own, so every source and destination
        // is subscribed to them from our own handle, as a patchbay would.
        const auto ports = sequencerPorts();
        std::optional<snd_seq_addr_t> ourInput;
        std::optional<snd_seq_addr_t> ourOutput;
        std::vector<std::string> names;
        std::vector<MIDIPortListing> listing;
        const std::string client = std::string(MIDIPorts::clientName) + ":";
        for (const auto& port : ports) {
            names.push_back(port.listing.name);
            listing.push_back(port.listing);
            if (port.listing.ours && port.listing.name == client + MIDIPorts::inputPortName) ourInput = port.address;
            if (port.listing.ours && port.listing.name == client + MIDIPorts::outputPortName) ourOutput = port.address;
        }
        if (names == seenSources || !ourInput || !ourOutput) return;
        seenSources = names;
        connectedSources.clear();
        connectedDestinations.clear();
        const auto choice = chooseMIDIPorts(listing, false);
        for (const std::size_t i : choice.sources) {
            subscribe(ports[i].address, *ourInput);
            connectedSources.push_back(ports[i].listing.name);
        }
        for (const std::size_t i : choice.destinations) {
            subscribe(*ourOutput, ports[i].address);
            connectedDestinations.push_back(ports[i].listing.name);
        }
    }
};

struct MIDIPorts::State {
    BytesHandler handler;
    Options options;
    std::vector<std::unique_ptr<MIDIBackend>> backends;
    mutable std::mutex scanMutex;
    std::unique_ptr<MIDISendQueue> sendQueue;
    std::mutex stopMutex;
    std::condition_variable stopSignal;
    bool stopping = false;
    std::thread scanner;
};

MIDIPorts::MIDIPorts(BytesHandler onBytes) : MIDIPorts(std::move(onBytes), Options{}) {}

MIDIPorts::MIDIPorts(BytesHandler onBytes, Options options) : state_(std::make_unique<State>())
{
    state_->handler = std::move(onBytes);
    state_->options = options;
    auto tryOpen = [&](Service service, RtMidi::Api api) {
        auto backend = std::make_unique<MIDIBackend>();
        backend->service = service;
        backend->stream = static_cast<int>(state_->backends.size());
        backend->handler = &state_->handler;
        if (backend->open(api)) state_->backends.push_back(std::move(backend));
    };
    bool alsaOpen = false;
    if (options.useALSASequencer && ::access("/dev/snd/seq", R_OK | W_OK) == 0) {
        tryOpen(Service::alsaSequencer, RtMidi::LINUX_ALSA);
        alsaOpen = !state_->backends.empty();
    }
    if (options.useJACK && jackServerRuns()) {
        tryOpen(Service::jack, RtMidi::UNIX_JACK);
        if (!state_->backends.empty()) state_->backends.back()->sequencerAlsoOpen = alsaOpen;
    }
    state_->sendQueue = std::make_unique<MIDISendQueue>([state = state_.get()](std::span<const std::uint8_t> bytes) {
        for (const auto& backend : state->backends) backend->send(bytes);
    });
    rescan();
    state_->scanner = std::thread([state = state_.get(), this] {
        std::unique_lock lock(state->stopMutex);
        while (!state->stopSignal.wait_for(lock, state->options.rescanInterval, [state] { return state->stopping; })) {
            lock.unlock();
            rescan();
            lock.lock();
        }
    });
}

MIDIPorts::~MIDIPorts()
{
    {
        std::lock_guard lock(state_->stopMutex);
        state_->stopping = true;
    }
    state_->stopSignal.notify_all();
    state_->scanner.join();
    state_->sendQueue.reset();
    state_->backends.clear();
}

std::vector<MIDIPorts::Service> MIDIPorts::services() const
{
    std::vector<Service> services;
    for (const auto& backend : state_->backends) services.push_back(backend->service);
    return services;
}

int MIDIPorts::streamCount() const { return static_cast<int>(state_->backends.size()); }

void MIDIPorts::send(std::span<const std::uint8_t> bytes, std::uint64_t hostTimeNanos)
{
    state_->sendQueue->send(bytes, hostTimeNanos);
}

void MIDIPorts::flush() { state_->sendQueue->flush(); }

void MIDIPorts::rescan()
{
    std::lock_guard lock(state_->scanMutex);
    for (const auto& backend : state_->backends) {
        try {
            backend->rescan();
        } catch (const RtMidiError&) {
            // A port that went away between listing and connecting is looked at again next time.
            backend->seenSources.clear();
            backend->seenDestinations.clear();
        }
    }
}

std::vector<std::string> MIDIPorts::connectedSources() const
{
    std::lock_guard lock(state_->scanMutex);
    std::vector<std::string> names;
    for (const auto& backend : state_->backends) names.insert(names.end(), backend->connectedSources.begin(), backend->connectedSources.end());
    return names;
}

std::vector<std::string> MIDIPorts::connectedDestinations() const
{
    std::lock_guard lock(state_->scanMutex);
    std::vector<std::string> names;
    for (const auto& backend : state_->backends) {
        names.insert(names.end(), backend->connectedDestinations.begin(), backend->connectedDestinations.end());
    }
    return names;
}

} // namespace veltrane

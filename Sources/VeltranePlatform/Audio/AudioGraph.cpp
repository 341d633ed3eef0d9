#include "VeltranePlatform/Audio/AudioGraph.hpp"

#include "VeltranePlatform/Audio/DenormalGuard.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace veltrane {

namespace detail {

// The node tree flattened for the rendering thread: entry 0 is the main mixer, every entry lists the
// entries of its inputs. A plan never changes once published; a structure change publishes a new one.
class RenderPlan {
public:
    struct Entry {
        AudioNode* node;
        std::uint32_t firstInput;
        std::uint32_t inputCount;
    };

    std::vector<Entry> entries;
    std::vector<std::uint32_t> inputEntries;

    void render(std::uint32_t index, const RenderTime& time, AudioBus& bus) const noexcept
    {
        const Entry& entry = entries[index];
        bus.silent = false;
        entry.node->render(time, RenderInputs(this, entry.firstInput, entry.inputCount), bus);
        if (entry.node->tapInstalled_.load(std::memory_order_relaxed)) entry.node->tap_.measure(bus);
    }

    bool pullAdding(std::uint32_t first, std::uint32_t count, int index, const RenderTime& time,
                    AudioBus& sum) const noexcept
    {
        if (index < 0 || static_cast<std::uint32_t>(index) >= count) return false;
        AudioNode* node = entries[inputEntries[first + static_cast<std::uint32_t>(index)]].node;
        if (node->tapInstalled_.load(std::memory_order_relaxed)) return false;
        return node->renderAdding(time, sum);
    }

    void pull(std::uint32_t first, std::uint32_t count, int index, const RenderTime& time,
              AudioBus& bus) const noexcept
    {
        if (index < 0 || static_cast<std::uint32_t>(index) >= count) {
            bus.silent = true;
            return;
        }
        render(inputEntries[first + static_cast<std::uint32_t>(index)], time, bus);
    }
};

} // namespace detail

void RenderInputs::pull(int index, const RenderTime& time, AudioBus& into) const noexcept
{
    plan_->pull(first_, count_, index, time, into);
}

bool RenderInputs::pullAdding(int index, const RenderTime& time, AudioBus& sum) const noexcept
{
    return plan_->pullAdding(first_, count_, index, time, sum);
}

struct AudioGraph::PlanMessage : detail::GraphMessage {
    std::unique_ptr<detail::RenderPlan> plan;
    void perform(AudioGraph& graph) noexcept override
    {
        // Swap: the message carries the old plan back to the owner thread, which frees it.
        detail::RenderPlan* previous = graph.plan_;
        graph.plan_ = plan.release();
        plan.reset(previous);
        graph.retire(this);
    }
};

struct AudioGraph::ResetMessage : detail::GraphMessage {
    std::vector<AudioNode*> nodes;
    void perform(AudioGraph& graph) noexcept override
    {
        for (AudioNode* node : nodes) node->reset();
        graph.retire(this);
    }
};

AudioGraph::AudioGraph(double sampleRate, int maximumFrames)
    : sampleRate_(sampleRate), maximumFrames_(maximumFrames)
{
    if (!(sampleRate > 0)) throw std::invalid_argument("An audio graph needs a positive sample rate.");
    if (maximumFrames < 1) throw std::invalid_argument("An audio graph needs a block size of at least one frame.");
    mainMixer_ = std::make_shared<AudioMixerNode>();
    attach(mainMixer_);
}

AudioGraph::~AudioGraph()
{
    // Nothing renders any more: commands that never ran and reports never drained are simply freed.
    while (auto* message = static_cast<detail::GraphMessage*>(inbox_.pop())) delete message;
    while (auto* message = static_cast<detail::GraphMessage*>(outbox_.pop())) delete message;
    delete plan_;
    for (auto& node : nodes_) {
        node->releaseGraphResources();
        node->graph_ = nullptr;
        node->inputs_.clear();
        node->destination_ = nullptr;
    }
}

void AudioGraph::setFormat(double sampleRate, int maximumFrames)
{
    if (!(sampleRate > 0)) throw std::invalid_argument("An audio graph needs a positive sample rate.");
    if (maximumFrames < 1) throw std::invalid_argument("An audio graph needs a block size of at least one frame.");
    sampleRate_ = sampleRate;
    maximumFrames_ = maximumFrames;
    for (auto& node : nodes_) {
        node->sampleRate_ = sampleRate;
        node->maximumFrames_ = maximumFrames;
        node->prepare(sampleRate, maximumFrames);
        node->reset();
    }
}

void AudioGraph::attach(std::shared_ptr<AudioNode> node)
{
    if (!node) throw std::logic_error("Cannot attach a null audio node.");
    if (node->graph_ == this) return;
    if (node->graph_ != nullptr) throw std::logic_error("The audio node belongs to another graph.");
    node->sampleRate_ = sampleRate_;
    node->maximumFrames_ = maximumFrames_;
    node->prepare(sampleRate_, maximumFrames_);
    node->reset();
    node->graph_ = this;
    nodes_.push_back(std::move(node));
}

void AudioGraph::requireAttached(const AudioNode& node) const
{
    if (node.graph_ != this) throw std::logic_error("The audio node is not attached to this graph.");
}

void AudioGraph::unlink(AudioNode& source) noexcept
{
    if (AudioNode* destination = source.destination_) {
        auto& inputs = destination->inputs_;
        inputs.erase(std::remove(inputs.begin(), inputs.end(), &source), inputs.end());
        source.destination_ = nullptr;
    }
}

void AudioGraph::connect(AudioNode& source, AudioNode& destination)
{
    requireAttached(source);
    requireAttached(destination);
    if (&source == mainMixer_.get()) throw std::logic_error("The main mixer is the end of the graph.");
    if (destination.maximumInputs() == 0) throw std::logic_error("The audio node takes no input.");
    for (const AudioNode* node = &destination; node != nullptr; node = node->destination_) {
        if (node == &source) throw std::logic_error("The connection would make a loop.");
    }
    if (source.destination_ == &destination) return;
    unlink(source);
    if (static_cast<int>(destination.inputs_.size()) >= destination.maximumInputs()) {
        for (AudioNode* old : std::vector<AudioNode*>(destination.inputs_)) unlink(*old);
    }
    destination.inputs_.push_back(&source);
    source.destination_ = &destination;
    publishPlan();
}

void AudioGraph::disconnectOutput(AudioNode& source)
{
    requireAttached(source);
    if (source.destination_ == nullptr) return;
    unlink(source);
    publishPlan();
}

void AudioGraph::disconnectInputs(AudioNode& destination)
{
    requireAttached(destination);
    if (destination.inputs_.empty()) return;
    for (AudioNode* old : std::vector<AudioNode*>(destination.inputs_)) unlink(*old);
    publishPlan();
}

void AudioGraph::publishPlan()
{
    auto plan = std::make_unique<detail::RenderPlan>();
    // Breadth-first from the main mixer, so that the inputs of an entry sit side by side.
    plan->entries.push_back({mainMixer_.get(), 0, 0});
    for (std::size_t index = 0; index < plan->entries.size(); ++index) {
        AudioNode* node = plan->entries[index].node;
        plan->entries[index].firstInput = static_cast<std::uint32_t>(plan->inputEntries.size());
        plan->entries[index].inputCount = static_cast<std::uint32_t>(node->inputs_.size());
        for (AudioNode* input : node->inputs_) {
            plan->inputEntries.push_back(static_cast<std::uint32_t>(plan->entries.size()));
            plan->entries.push_back({input, 0, 0});
        }
    }
    auto message = std::make_unique<PlanMessage>();
    message->plan = std::move(plan);
    post(message.release());
}

void AudioGraph::reset()
{
    auto message = std::make_unique<ResetMessage>();
    for (auto& node : nodes_) message->nodes.push_back(node.get());
    post(message.release());
}

void AudioGraph::performMessages() noexcept
{
    while (auto* message = static_cast<detail::GraphMessage*>(inbox_.pop())) message->perform(*this);
}

void AudioGraph::render(float* left, float* right, int frames) noexcept
{
    DenormalGuard denormals;
    performMessages();
    for (int done = 0; done < frames;) {
        const int count = std::min(frames - done, maximumFrames_);
        AudioBus bus{{left + done, right + done}, count, false};
        renderOne(bus);
        if (bus.silent) bus.fillSilence();
        done += count;
    }
}

bool AudioGraph::renderBlock(float* left, float* right, int frames) noexcept
{
    DenormalGuard denormals;
    performMessages();
    AudioBus bus{{left, right}, std::clamp(frames, 0, maximumFrames_), false};
    renderOne(bus);
    return !bus.silent;
}

void AudioGraph::renderOne(AudioBus& bus) noexcept
{
    const RenderTime time{clock_, static_cast<double>(clock_), 1.0};
    if (plan_ != nullptr) {
        plan_->render(0, time, bus);
    } else {
        bus.silent = true;
    }
    clock_ += bus.frames;
    renderedFrames_.store(clock_, std::memory_order_release);
}

void AudioGraph::manualRender(AudioBuffer& buffer, std::int64_t frames) noexcept
{
    const std::int64_t count = std::clamp<std::int64_t>(frames, 0, buffer.frameCapacity());
    for (std::int64_t done = 0; done < count;) {
        const int block = static_cast<int>(std::min<std::int64_t>(count - done, 1 << 30));
        render(buffer.channel(0) + done, buffer.channel(1) + done, block);
        done += block;
    }
    buffer.setFrameLength(count);
}

std::size_t AudioGraph::drainCompletions()
{
    if (draining_.test_and_set(std::memory_order_acquire)) return 0;
    struct Release {
        std::atomic_flag& flag;
        ~Release() { flag.clear(std::memory_order_release); }
    } release{draining_};
    std::size_t handled = 0;
    while (auto* raw = static_cast<detail::GraphMessage*>(outbox_.pop())) {
        std::unique_ptr<detail::GraphMessage> message(raw);
        ++handled;
        message->deliver();
    }
    return handled;
}

} // namespace veltrane

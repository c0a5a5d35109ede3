// The position path of the events engine in process: a large synthetic site,
// random-walk positions applied through writable handles as the context
// updater applies them, and a persistence and sender that only raise their
// signals, so that the figures are the engine's own.
#include "context_save_restore.h"
#include "events_generator.h"
#include "events_sender.h"
#include "recycled.h"
#include "counting_allocator.h"
#include "synthetic_site.h"
#include "zones_index.h"

#include "core/logger.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace {

using namespace kel;

class null_queue : public events_queue, public recycled<null_queue> {
public:
    explicit null_queue(event_signal& enter, event_signal& leave) : m_enter(enter), m_leave(leave) {}
    void send_enter(const context::trackable_object_in_zone& r, boost::optional<const context::trackable_object&> o,
                    libs::core::timestamp ts) override {
        m_enter(r, o, ts);
    }
    void send_leave(const context::trackable_object_in_zone& r, boost::optional<const context::trackable_object&> o,
                    libs::core::timestamp ts) override {
        m_leave(r, o, ts);
    }

private:
    event_signal& m_enter;
    event_signal& m_leave;
};

class null_sender : public events_sender {
public:
    events_queue::ptr create_queue() override { return std::make_unique<null_queue>(m_enter, m_leave); }
    connection do_on_enter_event(const slot_type& slot) override { return m_enter.connect(slot); }
    connection do_on_leave_event(const slot_type& slot) override { return m_leave.connect(slot); }

private:
    event_signal m_enter;
    event_signal m_leave;
};

class null_save_restore : public context_save_restore {
public:
    void restore() override {}
    void check_event(const context::trackable_object_in_zone&) override {}
    void save(const context::trackable_object_in_zone& r, boost::optional<const context::zone&> z) override {
        m_on_save(r, z);
        r.mark_saved();
    }
    connection do_on_save(const slot_type& slot) override { return m_on_save.connect(slot); }

private:
    save_signal m_on_save;
};

// One site per shape for every benchmark of the process: building one takes
// seconds.
struct engine {
    // As at the service's start: the site is loaded first, then the
    // generator subscribes and the index learns every zone.
    explicit engine(const bench::site_shape& site_shape) : shape(site_shape), site(bench::build_site(context, shape)) {
        generator = std::make_unique<events_generator>(context, save_restore, sender, index, logger,
                                                       std::set<std::string>{});
        for (const context::zone& z : context.get_zones().get_range())
            index.on_zone_update(z);
        for (const context::trackable_object& o : context.get_trackable_objects().get_range())
            index.on_trackable_update(o);
        // Drawn before the clock starts: the generator's own cost is no part
        // of the engine's. The same draws in the same order as one per step.
        std::mt19937 random{7};
        std::uniform_int_distribution<int> walk{-300, 300};
        for (auto& s : steps) {
            s.dx = static_cast<std::int16_t>(walk(random));
            s.dy = static_cast<std::int16_t>(walk(random));
        }
    }

    // The measured steps, apart from the warm-up's for callgrind's
    // --toggle-collect.
    __attribute__((noinline)) void measured_step(const std::string& uid) { step(uid); }

    void step(const std::string& uid) {
        auto handle = context.take_trackable_objects().try_get(uid, libs::core::timestamp(std::chrono::milliseconds(++clock)));
        const auto& p = *handle->get_position();
        const walk_step& s = steps[next_step++ & (steps.size() - 1)];
        // Tags stay on the site, as real ones do: a walk that drifted off
        // it would file them in ever new grid cells.
        handle->set_position(context::point(std::clamp(p.get_x() + s.dx, 0, shape.extent - 1),
                                            std::clamp(p.get_y() + s.dy, 0, shape.extent - 1), 0));
    }

    libs::core::logger logger{"quorvane-bench", "main"};
    bench::site_shape shape;
    context::writable_context context;
    null_sender sender;
    null_save_restore save_restore;
    zones_index index{save_restore, sender, context, logger};
    bench::synthetic_site site;
    std::unique_ptr<events_generator> generator;
    struct walk_step {
        std::int16_t dx;
        std::int16_t dy;
    };
    // A power of two of steps, used in turn and then again.
    std::vector<walk_step> steps = std::vector<walk_step>(std::size_t(1) << 20);
    std::size_t next_step = 0;
    std::int64_t clock = 1800000000000;
};

// The benchmark site, and the same grown tenfold in zones or in tags, so
// that the cost of growth shows.
engine& shared_engine() {
    static engine e{bench::site_shape{}};
    return e;
}

// A site that grows tenfold in zones covers about ten times the ground
// (more buildings, the same zones per floor area); the same zones crammed
// into the same area show what density alone costs.
engine& engine_with_many_zones() {
    bench::site_shape shape;
    shape.polygons = 20000;
    shape.extent = 632456;  // sqrt(10) times the side
    static engine e{shape};
    return e;
}

engine& engine_with_dense_zones() {
    bench::site_shape shape;
    shape.polygons = 20000;
    static engine e{shape};
    return e;
}

engine& engine_with_many_tags() {
    bench::site_shape shape;
    shape.objects = 100000;
    static engine e{shape};
    return e;
}

std::size_t heap_in_use() {
    return mallinfo2().uordblks;
}

void run_positions(benchmark::State& state, engine& e, const std::vector<std::string>& uids) {
    std::size_t i = 0;
    // Warm up so that records of the objects' current zones exist.
    for (std::size_t k = 0; k < uids.size(); ++k)
        e.step(uids[k]);
    const auto heap_before = heap_in_use();
    const auto allocations_before = bench::allocations();
    // The heap at half-way: growth in the second half tells a leak from the
    // lists and cells that fill up as the tags spread over the site.
    const auto half = state.max_iterations / 2;
    std::size_t heap_half = 0;
    std::size_t records_half = 0;
    benchmark::IterationCount n = 0;
    for (auto _ : state) {
        e.measured_step(uids[i]);
        if (++i == uids.size())
            i = 0;
        if (++n == half) {
            heap_half = heap_in_use();
            records_half = e.context.get_trackable_objects_in_zones().size();
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["allocs_per_position"] =
        static_cast<double>(bench::allocations() - allocations_before) / static_cast<double>(state.iterations());
    state.counters["heap_growth_bytes"] = static_cast<double>(heap_in_use()) - static_cast<double>(heap_before);
    state.counters["heap_growth_2nd_half"] = static_cast<double>(heap_in_use()) - static_cast<double>(heap_half);
    const auto& records = e.context.get_trackable_objects_in_zones();
    state.counters["records"] = static_cast<double>(records.size());
    state.counters["records_2nd_half"] = static_cast<double>(records.size()) - static_cast<double>(records_half);
    std::size_t longest_chain = 0;
    for (std::size_t b = 0; b < records.bucket_count(); ++b)
        longest_chain = std::max(longest_chain, records.bucket_size(b));
    state.counters["buckets"] = static_cast<double>(records.bucket_count());
    state.counters["longest_chain"] = static_cast<double>(longest_chain);
}

void ordinary_positions(benchmark::State& state) {
    run_positions(state, shared_engine(), shared_engine().site.ordinary);
}

void carrier_positions(benchmark::State& state) {
    run_positions(state, shared_engine(), shared_engine().site.carriers);
}

void ordinary_positions_20000_zones(benchmark::State& state) {
    run_positions(state, engine_with_many_zones(), engine_with_many_zones().site.ordinary);
}

void ordinary_positions_20000_dense_zones(benchmark::State& state) {
    run_positions(state, engine_with_dense_zones(), engine_with_dense_zones().site.ordinary);
}

void ordinary_positions_100000_tags(benchmark::State& state) {
    run_positions(state, engine_with_many_tags(), engine_with_many_tags().site.ordinary);
}

BENCHMARK(ordinary_positions)->MinTime(5.0)->Unit(benchmark::kMicrosecond);
BENCHMARK(carrier_positions)->MinTime(3.0)->Unit(benchmark::kMicrosecond);
BENCHMARK(ordinary_positions_20000_zones)->MinTime(3.0)->Unit(benchmark::kMicrosecond);
BENCHMARK(ordinary_positions_20000_dense_zones)->MinTime(3.0)->Unit(benchmark::kMicrosecond);
BENCHMARK(ordinary_positions_100000_tags)->MinTime(3.0)->Unit(benchmark::kMicrosecond);
// About a minute: whether the heap stays flat over a long run.
BENCHMARK(ordinary_positions)->Name("long_ordinary_positions")->Iterations(20000000)->Unit(benchmark::kMicrosecond);
// Fixed counts, for instruction counts under callgrind, which repeat
// exactly whatever else the machine is doing:
//   valgrind --tool=callgrind --toggle-collect='*engine::measured_step*'
//            engine_bench --benchmark_filter=fixed
BENCHMARK(ordinary_positions)->Name("fixed_ordinary_positions")->Iterations(20000);
BENCHMARK(carrier_positions)->Name("fixed_carrier_positions")->Iterations(2000);

}  // namespace

BENCHMARK_MAIN();

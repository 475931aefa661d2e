"""Who owns what: copies, pickles, deletions, threads, processes and interpreter shutdown.

Run under AddressSanitizer too (scripts/python-under-asan.sh), where a native
topology freed twice or used after it was freed stops the run.
"""

from __future__ import annotations

import copy
import gc
import multiprocessing
import pickle
import subprocess
import sys
import textwrap
import threading

import pytest

import vorl_exchange
from vorl_exchange import ExchangeError, Topology

np = pytest.importorskip("numpy")

CUSTOM_TABLE = [0, 2, 64, 66]


def fresh_tarn() -> Topology:
    return Topology.tarn()


def fresh_custom() -> Topology:
    return Topology(CUSTOM_TABLE)


def copies(topology: Topology) -> list[Topology]:
    return [copy.copy(topology), copy.deepcopy(topology), pickle.loads(pickle.dumps(topology)),
            pickle.loads(pickle.dumps(topology, protocol=0)), copy.deepcopy([topology])[0]]


@pytest.mark.parametrize("make", [fresh_tarn, fresh_custom])
def test_copies_and_deletions_leave_the_original_whole(make):
    original = make()
    expected = original.point_to_point(0, 2, 1)
    made = copies(original)
    assert [len(topology) for topology in made] == [len(original)] * len(made)
    assert all(topology.point_to_point(0, 2, 1) == expected for topology in made)
    del made
    gc.collect()
    assert len(original) == len(make())
    assert original.point_to_point(0, 2, 1) == expected
    with pytest.raises(ExchangeError, match="logical tile 1472 is out of range"):
        original.physical(1472)


def test_a_pickled_topology_keeps_its_own_table():
    custom = pickle.loads(pickle.dumps(fresh_custom()))
    assert [custom.physical(tile) for tile in range(4)] == CUSTOM_TABLE
    assert len(pickle.loads(pickle.dumps(fresh_tarn()))) == 1472


def test_a_topology_cannot_be_changed_or_made_twice():
    tarn = fresh_tarn()
    for attack in (lambda: setattr(tarn, "_handle", None), lambda: delattr(tarn, "_handle"),
                   lambda: setattr(tarn, "_table", [0])):
        with pytest.raises(AttributeError, match="immutable"):
            attack()
    with pytest.raises(TypeError, match="initialised again"):
        tarn.__init__([0, 2])
    with pytest.raises(TypeError):
        pickle.dumps(tarn._handle)
    assert copy.copy(tarn._handle) is tarn._handle
    assert len(tarn) == 1472


class Named(Topology):
    """A subclass with an attribute of its own."""

    def __init__(self, table: list[int]) -> None:
        super().__init__(table)
        self.name = "custom"


def test_subclasses_own_their_topology_too():
    named = Named(CUSTOM_TABLE)
    named.name = "four"
    tarn = Named.tarn()
    tarn.name = "tarn"
    for original in (named, tarn):
        again = pickle.loads(pickle.dumps(original))
        assert type(again) is Named and len(again) == len(original) and again.name == original.name
        assert copy.copy(original) is original

    class Forgetful(Topology):
        def __init__(self) -> None:  # never makes a native topology
            pass

    with pytest.raises(AttributeError):
        Forgetful().point_to_point(0, 2, 1)


def test_results_keep_their_topology_alive():
    plans = Topology(CUSTOM_TABLE).point_to_point_many([0, 0], [2, 9], 1)
    multicasts = Topology(CUSTOM_TABLE).multicast_many(0, [[2], [9]], 1)
    gc.collect()
    assert plans.error(1).debug == "Tile(9)"
    assert multicasts.error(1) == pytest.raises(ExchangeError, Topology(CUSTOM_TABLE).multicast, 0, [9], 1).value
    assert plans[0] == fresh_tarn().point_to_point(0, 2, 1)


@pytest.mark.parametrize("plan", [
    lambda t: t.point_to_point(0, 2, 0),
    lambda t: t.point_to_point(0, 7812, 1),
    lambda t: t.multicast(1287, [407, 380], 1543, 4096),
    lambda t: t.paired_multicast(0, [2], 1),
])
def test_errors_survive_copy_and_pickle(plan):
    with pytest.raises(ExchangeError) as raised:
        plan(fresh_tarn())
    error = raised.value
    error.note = "set after construction"  # attributes the constructor never saw come along too
    for moved in (copy.copy(error), copy.deepcopy(error), pickle.loads(pickle.dumps(error)),
                  pickle.loads(pickle.dumps(error, protocol=0))):
        assert moved == error and moved is not error
        assert (str(moved), moved.kind, moved.debug, moved.reason, moved.note) == (
            str(error), error.kind, error.debug, error.reason, error.note)
    assert error != ExchangeError("other", error.kind, error.debug, error.reason)
    assert hash(pickle.loads(pickle.dumps(error))) == hash(error)


def test_results_survive_copy_and_pickle():
    tarn = fresh_tarn()
    results = [tarn.point_to_point_many(0, [2, 1472, 1], [1, 1, 0]),
               tarn.multicast_many(0, [[2], [2, 1], [1472]], 1),
               tarn.paired_multicast_many(0, [[2, 3], [2]], 1)]
    for result in results:
        for moved in (copy.copy(result), copy.deepcopy(result), pickle.loads(pickle.dumps(result))):
            assert list(moved) == list(result)
            assert np.array_equal(moved.kinds, result.kinds)
            assert dict(pickle.loads(pickle.dumps(moved.errors()))) == dict(result.errors())


def test_threads_share_a_topology_while_copies_come_and_go():
    tarn = fresh_tarn()
    expected = tarn.multicast(0, [2, 1], 1)
    failures: list[BaseException] = []

    def work(seed: int) -> None:
        try:
            for round_ in range(150):
                passed = [tarn, copy.copy(tarn), pickle.loads(pickle.dumps(tarn))][(seed + round_) % 3]
                assert passed.multicast(0, [2, 1], 1) == expected
                assert passed.multicast_many(0, [[2, 1]], 1)[0] == expected
                with pytest.raises(ExchangeError):
                    passed.point_to_point(0, 1472, 1)
                del passed
        except BaseException as failure:  # handed to the main thread
            failures.append(failure)

    threads = [threading.Thread(target=work, args=(seed,)) for seed in range(6)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []


def test_interpreter_shutdown_with_everything_still_alive():
    script = textwrap.dedent("""
        import threading, vorl_exchange
        tarn = vorl_exchange.Topology.tarn()
        kept = [tarn, vorl_exchange.Topology([0, 2]), tarn.point_to_point_many(0, [2, 1472], 1)]
        cycle = [vorl_exchange.Topology([0, 2, 64])]
        cycle.append(cycle)
        try:
            tarn.point_to_point(0, 1472, 1)
        except vorl_exchange.ExchangeError as error:
            kept.append(error)
        def plan_forever():
            while True:
                tarn.multicast(0, [2, 1], 1)
        threading.Thread(target=plan_forever, daemon=True).start()
        print("ok")
    """)
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120)
    assert (result.returncode, result.stdout, result.stderr) == (0, "ok\n", "")


def plan_or_fail(request: tuple[Topology, int, int, int]) -> vorl_exchange.Plan:
    topology, sender, receiver, count = request
    return topology.point_to_point(sender, receiver, count)


def plan_or_error(request: tuple[Topology, int, int, int]) -> object:
    try:
        return plan_or_fail(request)
    except ExchangeError as error:
        return error


def test_processes_plan_and_fail_and_send_back_errors():
    tarn = fresh_tarn()
    requests = [(tarn, 0, 2, 1), (Topology(CUSTOM_TABLE), 0, 2, 1), (tarn, 0, 1472, 1), (tarn, 5, 5, 1)]
    with multiprocessing.get_context("spawn").Pool(2) as pool:
        outcomes = pool.map_async(plan_or_error, requests).get(timeout=120)
        expected = [plan_or_error(request) for request in requests]
        assert outcomes == expected and isinstance(outcomes[2], ExchangeError)
        # A worker that raises hands its error over whole, and the pool goes on.
        with pytest.raises(ExchangeError) as raised:
            pool.map_async(plan_or_fail, requests).get(timeout=120)
        assert raised.value in expected[2:]
        bulk = pool.apply_async(fresh_tarn().point_to_point_many, ([0, 0], [2, 1472], 1)).get(timeout=120)
        assert bulk[1] == expected[2] and bulk[0] == expected[0]

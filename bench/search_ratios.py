"""Prints the search targets as ratios from bench_search's JSON output."""
import json
import sys


def main(path):
    with open(path) as f:
        runs = json.load(f)["benchmarks"]
    median = {}
    for run in runs:
        if run.get("aggregate_name", "median") != "median" or run.get("error_occurred"):
            continue
        name = run["run_name"].split("/min_time")[0]
        median[name] = run

    def ms(name, clock="real_time"):
        run = median.get(name)
        if run is None:
            return None
        scale = {"ms": 1.0, "us": 1e-3, "ns": 1e-6, "s": 1e3}[run["time_unit"]]
        return run[clock] * scale

    def cpu(name):
        return ms(name, "cpu_time")

    search = ms("BM_SearchPacked/kernel:0")
    load = ms("BM_LoadPacked")
    rows = int(median["BM_LoadPacked"]["rows"]) if "BM_LoadPacked" in median else 0
    print(f"\nrows: {rows}")
    print("(wall-clock figures first; processor time in brackets, which holds when the machine is busy)")
    print(f"search: {search:.3f} ms [{cpu('BM_SearchPacked/kernel:0'):.3f} ms]; "
          f"whole operation with a no-op view: {ms('BM_ControlSearch'):.3f} ms [{cpu('BM_ControlSearch'):.3f} ms]")
    text_search = ms("BM_SearchTextTable")
    if text_search is not None:
        print(f"search speed-up over the text table: {text_search / search:.0f}x "
              f"[{cpu('BM_SearchTextTable') / cpu('BM_SearchPacked/kernel:0'):.0f}x] (target >= 300x)")
    else:
        print("search over the text table: not run (the text array cannot hold this many rows)")
    floor = ms("BM_ReadPackedBytes")
    print(f"search / one pass over the packed bytes ({floor:.3f} ms): {search / floor:.2f} "
          f"[{cpu('BM_SearchPacked/kernel:0') / cpu('BM_ReadPackedBytes'):.2f}] (target <= 2)")
    for arg, what in ((0, "colour query, default comparisons"), (1, "gray query, default comparisons"),
                      (2, "gray query, all eleven comparisons"),
                      (3, "colour query, default comparisons without the reframed one"),
                      (4, "gray query, default comparisons, AVX2 without the byte dot product")):
        for threads in (1, 2):
            name = f"BM_MatchSearch/query:{arg}/threads:{threads}/process_time/real_time"
            match = ms(name)
            if match is None:
                continue
            # Processor time counts every thread: against the plain search's
            # it says what the threads cost, not how long the user waits.
            print(f"matching search ({what}, {threads} thread{'s' if threads > 1 else ''}): {match:.3f} ms "
                  f"[{cpu(name):.3f} ms]; / plain search {match / search:.2f} "
                  f"[{cpu(name) / cpu('BM_SearchPacked/kernel:0'):.2f}]"
                  + (" (target <= 3)" if arg in (0, 1, 4) else ""))
    shell = ms("BM_ShellPrintsTable")
    shell_cpu = median["BM_ShellPrintsTable"]["child_cpu_ms"]
    print(f"load: {load:.0f} ms [{cpu('BM_LoadPacked'):.0f} ms]; sqlite3 shell printing the table: {shell:.0f} ms "
          f"[{shell_cpu:.0f} ms]; ratio {load / shell:.2f} [{cpu('BM_LoadPacked') / shell_cpu:.2f}] (target <= 0.6)")
    text_load = ms("BM_LoadTextTable")
    if text_load is not None:
        print(f"load of the text table: {text_load:.0f} ms")
    memory = median["BM_LoadPacked"]
    print(f"memory per row beyond text: {memory['bytes_per_row_beyond_text']:.1f} bytes (target <= 64); "
          f"text {memory['text_bytes_per_row']:.1f} bytes")


if __name__ == "__main__":
    main(sys.argv[1])

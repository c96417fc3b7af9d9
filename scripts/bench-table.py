#!/usr/bin/env python3
"""Prints the table of every benchmark figure from scripts/bench.sh's results folder, each ratio beside
its goal, and fails when a benchmark reported an error."""
import argparse
import json
import os
import subprocess
import sys


def load(folder, name):
    with open(os.path.join(folder, name + ".json")) as f:
        return json.load(f)


def figures(document):
    """name -> run: the median of the repetitions when there were some, else the one run."""
    runs, broken = {}, []
    for run in document["benchmarks"]:
        if run.get("error_occurred"):
            broken.append(run["name"] + ": " + run.get("error_message", "error"))
            continue
        name = run.get("run_name", run["name"]).replace("/real_time", "")
        if run.get("run_type") == "aggregate":
            if run.get("aggregate_name") == "median":
                runs[name] = run
        else:
            runs.setdefault(name, run)
    return runs, broken


def ms(run, clock="real_time"):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[run["time_unit"]]
    return run[clock] * scale


def cpu(run):
    """CPU time of the benchmark's thread: steadier than wall time on a shared machine."""
    return ms(run, "cpu_time")


def machine():
    model = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    cores = subprocess.run(["nproc"], capture_output=True, text=True).stdout.strip()
    return "%s cores, %s" % (cores, model)


def verdict(ok, brief):
    return "(one quick run)" if brief else ("met" if ok else "NOT met")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--world", default="20x100")
    parser.add_argument("--brief", action="store_true")
    args = parser.parse_args()

    broken = []
    parse, b = figures(load(args.folder, "parse")); broken += b
    request, b = figures(load(args.folder, "request")); broken += b
    discovery, b = figures(load(args.folder, "discovery")); broken += b
    with open(os.path.join(args.folder, "demo.json")) as f:
        demo = json.load(f)

    how = "one run each, minimal time" if args.brief else "medians of 5 repetitions (one request: 10, taking turns; discovery: 3)"
    print("Machine: %s; %s." % (machine(), how))
    print()
    print("Text to records (CPU time per run):")
    print()
    print("| list | records | nlohmann | speed vs nlohmann (goal >= 2x) | heap/MB records | heap/MB nlohmann"
          " | heap vs nlohmann (goal <= 1/4) | the records alone, per MB |")
    print("|---|---|---|---|---|---|---|---|")
    for family, records, reference in (("Compute instances", "InstanceRecords", "InstanceNlohmann"),
                                       ("Cloud SQL instances", "SqlInstanceRecords", "SqlInstanceNlohmann"),
                                       ("Spanner databases", "SpannerDatabaseRecords", "SpannerDatabaseNlohmann")):
        if records not in parse or reference not in parse:
            continue
        r, n = parse[records], parse[reference]
        speed = cpu(n) / cpu(r)
        heap = r["peak_heap_MB_per_text_MB"] / n["peak_heap_MB_per_text_MB"]
        print("| %s (%.2f MB) | %.1f ms | %.1f ms | %.2fx %s | %.2f MB | %.2f MB | %.2f %s | %.2f MB |" % (
            family, r["text_MB"], cpu(r), cpu(n), speed, verdict(speed >= 2, args.brief),
            r["peak_heap_MB_per_text_MB"], n["peak_heap_MB_per_text_MB"], heap,
            verdict(heap <= 0.25, args.brief), r.get("records_MB_per_text_MB", float("nan"))))
    for stage in ("RapidJsonReaderOnly", "ValueModel"):
        if stage in parse:
            print("| Compute instances, %s | %.1f ms | | | %.2f MB | | | |" % (
                stage, cpu(parse[stage]), parse[stage]["peak_heap_MB_per_text_MB"]))
    print()

    if "FacadeGet" in request and "RawCurlGet" in request:
        f, r = request["FacadeGet"], request["RawCurlGet"]
        ratio, cpu_ratio = ms(f) / ms(r), cpu(f) / cpu(r)
        bare = request.get("RawCurlGetBearerOnly")
        guarded = request.get("RawCurlGetGuarded")

        def us(run, of):
            return "%.0f us" % (of(run) * 1e3) if run else "-"

        print("| one GET on loopback | facade | raw libcurl | facade/raw (goal <= 1.05) | raw, bearer only "
              "| raw with the client's guards | facade/guarded |")
        print("|---|---|---|---|---|---|---|")
        print("| wall time | %.0f us | %.0f us | %.3f %s | %s | %s | %s |" % (
            ms(f) * 1e3, ms(r) * 1e3, ratio, verdict(ratio <= 1.05, args.brief), us(bare, ms),
            us(guarded, ms), "%.3f" % (ms(f) / ms(guarded)) if guarded else "-"))
        print("| CPU time of the client thread | %.0f us | %.0f us | %.3f | %s | %s | %s |" % (
            cpu(f) * 1e3, cpu(r) * 1e3, cpu_ratio, us(bare, cpu), us(guarded, cpu),
            "%.3f" % (cpu(f) / cpu(guarded)) if guarded else "-"))
        print()

    hosts = demo.get("hosts", {})
    most = max((h["connections"] for h in hosts.values()), default=0)
    print("| demo host (one facade) | requests | TLS connections (goal 1) |")
    print("|---|---|---|")
    for host in sorted(hosts):
        print("| %s | %d | %d |" % (host, hosts[host]["requests"], hosts[host]["connections"]))
    print("| all | %d | %d, at most %d per host: %s |" % (
        demo.get("requests", 0), sum(h["connections"] for h in hosts.values()), most,
        "met" if most == 1 else "NOT met"))
    print()

    print("| discovery on %s (P x Z) | requests | time | requests, aggregated | time, aggregated |" % args.world)
    print("|---|---|---|---|---|")
    for path, title in (("GuidHit", "GUID hit (cached)"), ("GuidMiss", "GUID miss (scan)"),
                        ("ZoneList", "zone list, every project"), ("Label", "label search"),
                        ("WildcardLabel", "wildcard label search"), ("Region", "region list")):
        cells = []
        for mode in ("listed", "aggregated"):
            run = discovery.get("Discover/%s_%s" % (path, mode))
            cells += ["%d" % run["requests"], "%.1f ms" % ms(run)] if run else ["-", "-"]
        print("| %s | %s |" % (title, " | ".join(cells)))

    if broken:
        print("\nbroken benchmarks:\n  " + "\n  ".join(broken), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

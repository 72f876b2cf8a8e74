"""Holds the rendered Kubernetes objects against what a benchmark Job needs,
or prints one Job's container arguments as its pod would run them.

Usage: check_manifests.py check < rendered.yaml
       check_manifests.py args JOB NODE [KEY=VALUE...] < rendered.yaml
  args: the container's arguments, one per line, with $(VAR) filled in from
  the settings (KEY=VALUE overrides a setting) and NODE as the node's name.
"""
import re
import sys

import yaml

problems = []


def expect(condition, what):
    if not condition:
        problems.append(what)


def by_kind(objects, kind):
    return [o for o in objects if o["kind"] == kind]


def settings_of(objects):
    maps = [o for o in by_kind(objects, "ConfigMap") if o["metadata"]["name"].startswith("corvasta-settings")]
    expect(len(maps) == 1, "one settings ConfigMap")
    return maps[0] if maps else {"metadata": {"name": ""}, "data": {}}


def env_value(env, settings, node):
    """What the kubelet would put in the variable."""
    source = env.get("valueFrom", {})
    if "fieldRef" in source:
        return node if source["fieldRef"]["fieldPath"] == "spec.nodeName" else None
    if "configMapKeyRef" in source:
        ref = source["configMapKeyRef"]
        if ref["name"] != settings["metadata"]["name"]:
            return None
        return settings["data"].get(ref["key"])
    return env.get("value")


def container_args(container, settings, node):
    values = {e["name"]: env_value(e, settings, node) for e in container.get("env", [])}
    return [re.sub(r"\$\((\w+)\)", lambda m: str(values.get(m.group(1))), a) for a in container["args"]]


def after(args, option):
    """The value that follows an option, or None."""
    return args[args.index(option) + 1] if option in args[:-1] else None


def check_container(name, container, settings):
    resources = container.get("resources", {})
    for kind in ("requests", "limits"):
        expect({"cpu", "memory"} <= set(resources.get(kind, {})), f"{name}: {kind} of cpu and memory")
    security = container.get("securityContext", {})
    expect(security.get("allowPrivilegeEscalation") is False, f"{name}: privilege escalation not denied")
    expect(security.get("privileged") is not True, f"{name}: privileged")
    expect(security.get("readOnlyRootFilesystem") is True, f"{name}: root file system writable")
    expect(security.get("capabilities", {}).get("drop") == ["ALL"], f"{name}: capabilities not all dropped")
    node_env = [e for e in container.get("env", [])
                if e.get("valueFrom", {}).get("fieldRef", {}).get("fieldPath") == "spec.nodeName"]
    expect(len(node_env) == 1, f"{name}: no variable from the node's name")
    args = container_args(container, settings, "NODE")
    expect("--json" in args, f"{name}: no --json")
    expect(after(args, "--label") == "NODE", f"{name}: --label is not the node's name")
    expect(after(args, "--profile") == "all", f"{name}: does not run the four profiles")
    expect("None" not in args, f"{name}: an argument refers to nothing: {args}")
    mounts = {m["mountPath"]: m["name"] for m in container.get("volumeMounts", [])}
    expect(args[:1] and args[0] in mounts, f"{name}: the folder is not a mounted volume")
    return mounts.get(args[0]) if args else None


def check_job(job, settings):
    name = job["metadata"]["name"]
    spec = job["spec"]
    pod = spec["template"]["spec"]
    expect(spec.get("backoffLimit") == 0, f"{name}: backoffLimit is not 0")
    expect(isinstance(spec.get("ttlSecondsAfterFinished"), int), f"{name}: no ttlSecondsAfterFinished")
    expect(pod.get("restartPolicy") == "Never", f"{name}: restartPolicy is not Never")
    labels = spec["template"]["metadata"].get("labels", {})
    expect(labels.get("app.kubernetes.io/name") == "corvasta", f"{name}: pods lack the name label")
    expect(len(pod["containers"]) == 1, f"{name}: one container")
    volume_name = check_container(name, pod["containers"][0], settings)
    volumes = {v["name"]: v for v in pod.get("volumes", [])}
    return volumes.get(volume_name, {}), labels


def check_storage_job(job, claims, settings):
    volume, _ = check_job(job, settings)
    claim = volume.get("persistentVolumeClaim", {}).get("claimName")
    expect(claim in claims, f"storage Job: the folder is not on the claim ({claim})")
    if claim in claims:
        spec = claims[claim]["spec"]
        expect(spec.get("storageClassName") == settings["data"].get("storageClass"),
               "the claim's storage class is not the settings'")
        expect(spec["resources"]["requests"].get("storage") == settings["data"].get("claimSize"),
               "the claim's size is not the settings'")


def check_node_job(job, settings):
    volume, labels = check_job(job, settings)
    spec = job["spec"]
    expect(spec.get("completionMode") == "Indexed", "node Job: not Indexed")
    expect(spec.get("completions") == spec.get("parallelism"), "node Job: not every node at once")
    expect(volume.get("hostPath", {}).get("path") == settings["data"].get("nodeFolder"),
           "node Job: the folder is not the node folder of the settings")
    terms = (spec["template"]["spec"].get("affinity", {}).get("podAntiAffinity", {})
             .get("requiredDuringSchedulingIgnoredDuringExecution", []))
    spread = [t for t in terms if t.get("topologyKey") == "kubernetes.io/hostname" and
              t.get("labelSelector", {}).get("matchLabels", {}).items() <= labels.items()]
    expect(len(spread) == 1, "node Job: no required anti-affinity of its own pods per host")


def check(objects):
    kinds = sorted(o["kind"] for o in objects)
    expect(kinds == ["ConfigMap", "Job", "Job", "PersistentVolumeClaim"], f"kinds: {kinds}")
    settings = settings_of(objects)
    claims = {o["metadata"]["name"]: o for o in by_kind(objects, "PersistentVolumeClaim")}
    jobs = by_kind(objects, "Job")
    indexed = [j for j in jobs if j["spec"].get("completionMode") == "Indexed"]
    expect(len(indexed) == 1, "one Indexed Job")
    for job in jobs:
        if job in indexed:
            check_node_job(job, settings)
        else:
            check_storage_job(job, claims, settings)


def main():
    objects = [o for o in yaml.safe_load_all(sys.stdin) if o]
    if sys.argv[1:2] == ["check"]:
        check(objects)
        for problem in problems:
            print("FAIL:", problem)
        sys.exit(1 if problems else 0)
    job_name, node = sys.argv[2], sys.argv[3]
    settings = settings_of(objects)
    settings["data"].update(dict(a.split("=", 1) for a in sys.argv[4:]))
    job = [j for j in by_kind(objects, "Job") if j["metadata"]["name"] == job_name][0]
    print("\n".join(container_args(job["spec"]["template"]["spec"]["containers"][0], settings, node)))


main()

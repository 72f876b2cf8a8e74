#!/usr/bin/env bash
# The Kubernetes manifests render, and hold what a benchmark Job needs.
here=$(dirname "$(realpath "$0")")
command -v kubectl >/dev/null || { echo "SKIP: kubectl is not installed"; exit 77; }
python3 -c 'import yaml' 2>/dev/null || { echo "SKIP: python3-yaml is not installed"; exit 77; }
set -o pipefail
kubectl kustomize "$here/../../deploy/kubernetes" | python3 "$here/check_manifests.py" check &&
  echo "manifests: all checks passed"

#!/usr/bin/env bash
# The playbook against an inventory of this machine (ansible_connection=local):
# the console copied, one short run in the host's folder, its document on
# the control side and the comparison written.
# Usage: playbook_e2e.sh STATIC_CLI WORK_DIR   (exit 77: skipped)
here=$(dirname "$(realpath "$0")")
# shellcheck source=../e2e/e2e_checks.sh
source "$here/../e2e/e2e_checks.sh"
command -v ansible-playbook >/dev/null || { echo "SKIP: ansible is not installed"; exit 77; }
rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")

cat >"$work/inventory.yml" <<INVENTORY
corvasta:
  hosts:
    this-machine:
      ansible_connection: local
      ansible_python_interpreter: $(command -v python3)
      corvasta_folder: $work/folder
      corvasta_install_path: $work/host/corvasta-cli
  vars:
    corvasta_console: $cli
    corvasta_results: $work/results
    corvasta_profiles: SEQ1M-Q8T1
    corvasta_extra_args: [--passes, "1", --size, 256MiB]
INVENTORY
mkdir -p "$work/host" "$work/results"
ANSIBLE_LOCAL_TEMP=$work/ansible-tmp ANSIBLE_REMOTE_TEMP=$work/ansible-tmp ANSIBLE_NOCOLOR=1 \
  ansible-playbook -i "$work/inventory.yml" "$here/../../deploy/ansible/playbook.yml" >"$work/playbook.out" 2>&1
code=$?
cat "$work/playbook.out"
[ "$code" -eq 0 ] || fail "the playbook exited $code"
cmp -s "$cli" "$work/host/corvasta-cli" || fail "the console was not copied to the host"
CORVASTA_CHECK_LABEL=this-machine python3 "$here/../e2e/check_json.py" "$work/results/this-machine.json" completed any "$work/folder/" ||
  fail "the fetched document"
expect_line "$work/results/comparison.html" "this-machine"
finish_checks "playbook end to end"

#!/usr/bin/env bash
# Runs `vsthost validate` over every VST 2.4 plug-in that the given Debian packages installed and
# sums the verdicts per package: the rows of the README's third-party table.
#
#   tools/vsthost/survey.sh VSTHOST OUTDIR [PACKAGE...]
#
# Each plug-in's full report goes to OUTDIR/PACKAGE/NAME.txt; OUTDIR/summary.md holds one table row
# per package: plug-ins with every check passed or skipped, plug-ins with a failed check, the checks
# passed, failed and skipped over all its plug-ins, and how often each check failed. A whole run of
# one plug-in gets PER_PLUGIN_SECONDS (default 900); beyond that it counts as failed ("timed out").
# A shared library that exports no VST entry (LSP installs its common code beside the plug-ins) is
# counted apart, as not a plug-in. SUMMARY_ONLY=1 sums the reports of an earlier run again.
set -uo pipefail

if [ $# -lt 2 ]; then
    sed -n '2,/^set -uo/p' "$0" | sed -e '/^set -uo/d' -e 's/^# \{0,1\}//' >&2
    exit 2
fi
vsthost=$(readlink -f "$1")
out=$2
shift 2
packages=("$@")
[ ${#packages[@]} -gt 0 ] || packages=(lsp-plugins-vst zam-plugins dpf-plugins-vst dragonfly-reverb-vst
                                       iem-plugin-suite-vst zynaddsubfx-vst amsynth)
limit=${PER_PLUGIN_SECONDS:-900}
mkdir -p "${out}"
summary=${out}/summary.md
echo "| package | plug-ins | all checks passed | with failures | checks passed / failed / skipped | failing checks (plug-ins) |" > "${summary}"
echo "|---|---|---|---|---|---|" >> "${summary}"
not_a_plugin='exports none of VSTPluginMain, main, MAIN' 

for package in "${packages[@]}"; do
    if ! dpkg -s "${package}" > /dev/null 2>&1; then
        echo "| ${package} | not installed | | | | |" >> "${summary}"
        continue
    fi
    mkdir -p "${out}/${package}"
    mapfile -t plugins < <(dpkg -L "${package}" | grep -E '/(vst|lxvst)/.*\.so$' | sort)
    for plugin in "${plugins[@]}"; do
        [ "${SUMMARY_ONLY:-0}" = 1 ] && break
        report=${out}/${package}/$(basename "${plugin}" .so).txt
        timeout -k 10 "${limit}" "${vsthost}" validate "${plugin}" > "${report}" 2>&1
        status=$?
        [ "${status}" -eq 124 ] || [ "${status}" -eq 137 ] && echo "TIMEOUT  whole run beyond ${limit} s" >> "${report}"
        echo "${package}: $(basename "${plugin}"): exit ${status}" >&2
    done
    reports=() clean=0 faulty=0 others=""
    for report in "${out}/${package}"/*.txt; do
        if grep -q "${not_a_plugin}" "${report}"; then
            others="${others:+${others}, }$(basename "${report}" .txt).so"
            continue
        fi
        reports+=("${report}")
        if grep -q '^\(FAIL\|TIMEOUT\) ' "${report}"; then faulty=$((faulty + 1)); else clean=$((clean + 1)); fi
    done
    passed=$(cat "${reports[@]}" | grep -c '^PASS ')
    failed=$(cat "${reports[@]}" | grep -c '^FAIL ')
    skipped=$(cat "${reports[@]}" | grep -c '^SKIP ')
    # The check name fills columns 7 to 42 of a verdict line.
    failing=$(cat "${reports[@]}" | grep '^FAIL ' | cut -c7-42 | sed -e 's/ *$//' | sort | uniq -c |
              sort -rn | awk '{count=$1; $1=""; sub(/^ /, ""); printf "%s%s %d", (NR>1 ? ", " : ""), $0, count}')
    echo "| ${package} | ${#reports[@]}${others:+ (and ${others}, not a plug-in)} | ${clean} | ${faulty} | ${passed} / ${failed} / ${skipped} | ${failing:-none} |" >> "${summary}"
done
cat "${summary}"

#!/usr/bin/env python3
"""Prints the Unix locale Wine must run a scenario in: the one of the UI language its setup names.

    scripts/scenario_locale.py SCENARIO

Wine takes the resource language from the user locale of the process, not from the thread's UI
language that the console sets, so a scenario whose setup names `uiLanguage` runs with LANG set to
the matching locale. The setup's language is the last one named: includes first, in order, then
the setup's own member (docs/organisation.md). Without one it is English (C.UTF-8).
"""
import json
import os
import sys

LOCALES = {1033: "C.UTF-8", 1031: "de_DE.UTF-8", 1036: "fr_FR.UTF-8", 1040: "it_IT.UTF-8",
           3082: "es_ES.UTF-8"}
NAMES = {"en-us": 1033, "de-de": 1031, "fr-fr": 1036, "it-it": 1040, "es-es": 3082}


def language(setup, base):
    """The UI language a setup (an object; file names relative to base) leaves, or None."""
    found = None
    includes = setup.get("include", [])
    for name in includes if isinstance(includes, list) else [includes]:
        path = os.path.join(base, name)
        with open(path, encoding="utf-8") as f:
            included = language(json.load(f), os.path.dirname(path))
        found = included if included is not None else found
    value = setup.get("uiLanguage")
    if isinstance(value, str):
        return NAMES[value.lower()]
    return value if value is not None else found


def main():
    scenario = sys.argv[1]
    with open(scenario, encoding="utf-8") as f:
        setup = json.load(f)["setup"]
    if isinstance(setup, str):
        setup = {"include": setup}
    code = language(setup, os.path.dirname(os.path.abspath(scenario))) or 1033
    if code not in LOCALES:
        sys.exit(f"{scenario}: no locale known for UI language {code}")
    print(LOCALES[code])


if __name__ == "__main__":
    main()

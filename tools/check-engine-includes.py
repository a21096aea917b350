#!/usr/bin/env python3
"""Checks the layering of both programs: no engine file includes a wizard header or a
resource header, or calls the window system (the engines report through interfaces that
the wizards and the unattended runs implement), and the engine's modules (a .cpp with its
.h) include one another without a circle.
Usage: check-engine-includes.py [source root]. Prints what it finds; exit 1 on a fault."""
import os
import re
import sys

root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
include = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
# Window handles, messages, pumps, boxes and resource strings: the wizards' business.
window_call = re.compile(r'\b(HWND|PostMessage[AW]?|SendMessage[AW]?|MessageBox(?:Ex)?[AW]?|LoadString[AW]?|'
                         r'GetMessage[AW]?|PeekMessage[AW]?|DispatchMessage[AW]?)\b')
comment = re.compile(r'//[^\n]*|/\*.*?\*/', re.S)
faults = []

for program in ("backup", "restore"):
    engine = os.path.join(root, program, "engine")
    wizard = os.path.join(root, program, "wizard")
    wizard_headers = {f for f in os.listdir(wizard) if f.endswith(".h")}
    modules = {os.path.splitext(f)[0] for f in os.listdir(engine) if f.endswith((".h", ".cpp"))}
    edges = {m: set() for m in modules}
    for name in sorted(os.listdir(engine)):
        if not name.endswith((".h", ".cpp")):
            continue
        text = open(os.path.join(engine, name), encoding="utf-8").read()
        module = os.path.splitext(name)[0]
        for number, line in enumerate(comment.sub(lambda m: "\n" * m.group(0).count("\n"), text).split("\n"), 1):
            for call in sorted(set(window_call.findall(line))):
                faults.append(f"{program}/engine/{name}:{number} uses the window system ({call})")
        for header in include.findall(text):
            base = os.path.basename(header)
            if base in wizard_headers or "wizard/" in header:
                faults.append(f"{program}/engine/{name} includes the wizard header {header}")
            if base.lower() == "resource.h":
                faults.append(f"{program}/engine/{name} includes the resource header {header}")
            target = os.path.splitext(base)[0]
            if target in modules and target != module:
                edges[module].add(target)

    # Depth-first search for a circle among the modules.
    state = {}
    def visit(module, path):
        state[module] = "open"
        for target in sorted(edges[module]):
            if state.get(target) == "open":
                circle = path[path.index(target):] + [target]
                faults.append(f"{program}/engine: include circle " + " -> ".join(circle))
            elif target not in state:
                visit(target, path + [target])
        state[module] = "done"
    for module in sorted(modules):
        if module not in state:
            visit(module, [module])

for fault in faults:
    print(fault)
if not faults:
    print("engine layering: no wizard or resource header and no window call in an engine file, "
          "no include circle among engine modules")
sys.exit(1 if faults else 0)

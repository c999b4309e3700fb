"""The type stub shipped with the module describes the module as built."""

import ast
from pathlib import Path

import tonvisor

STUB = Path(tonvisor.__file__).with_name("__init__.pyi")


def stub_items():
    """(qualified name, docstring) of every class, function and method the stub declares."""
    tree = ast.parse(STUB.read_text())
    for node in tree.body:
        if isinstance(node, (ast.ClassDef, ast.FunctionDef)):
            yield node.name, ast.get_docstring(node, clean=True)
        if isinstance(node, ast.ClassDef):
            for member in node.body:
                if isinstance(member, ast.FunctionDef):
                    yield f"{node.name}.{member.name}", ast.get_docstring(member, clean=True)


def test_stub_and_module_agree():
    declared = dict(stub_items())
    assert set(n for n in declared if "." not in n) == set(tonvisor.__all__)
    for name, doc in declared.items():
        target = tonvisor
        for part in name.split("."):
            target = getattr(target, part)
        if doc:
            assert " ".join(doc.split()) in " ".join(target.__doc__.split()), name
    public = {f"Chip.{n}" for n in dir(tonvisor.Chip) if not n.startswith("_")}
    assert public <= set(declared)

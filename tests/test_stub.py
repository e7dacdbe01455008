"""The type stub installed beside the module must describe the live module: the same
names, the same kinds of member, the same parameter kinds, names where they can be
given by keyword, defaults and return types. The live side is read from the
signature lines the binding library writes into every docstring."""

import ast
import pathlib
import re

import pytest

import Vantrel

STUB_PATH = pathlib.Path(Vantrel.__file__).with_name("Vantrel.pyi")

POSITIONAL = "positional-only"
KEYWORD = "positional-or-keyword"


def split_top_level(text):
    """Splits at the commas that are not inside brackets."""
    parts, depth, start = [], 0, 0
    for i, c in enumerate(text):
        depth += c in "[(" and 1 or c in "])" and -1 or 0
        if c == "," and depth == 0:
            parts.append(text[start:i].strip())
            start = i + 1
    tail = text[start:].strip()
    return parts + [tail] if tail else parts


def normal_type(text):
    """A live type as the stub writes it: no module prefixes, no size annotations."""
    text = re.sub(r'typing\.Annotated\[(.*), "FixedSize\(\d+\)"\]', r"\1", text)
    return text.replace("Vantrel.", "").replace("typing.", "")


def live_signatures(doc, method):
    """[(params, return type)] from a docstring; params as (kind, name, default),
    without the self of a method."""
    lines = re.findall(r"^(?:\d+\. )?\w*\((.*)\) -> (.+)$", doc, re.MULTILINE)
    signatures = []
    for params, result in lines:
        parsed = []
        for param in split_top_level(params)[method:]:
            if param == "/":
                parsed = [(POSITIONAL, name, default) for _, name, default in parsed]
                continue
            name, _, rest = param.partition(":")
            default = ast.literal_eval(rest.split(" = ")[1]) if " = " in rest else None
            kind = POSITIONAL if re.fullmatch(r"arg\d+", name) else KEYWORD
            parsed.append((kind, name, default))
        signatures.append((params, [(k, n if k == KEYWORD else "", d) for k, n, d in parsed],
                           normal_type(result.strip())))
    assert signatures, f"no signature in {doc!r}"
    return [(params, result) for _, params, result in signatures]


def stub_signature(node, method):
    args = node.args
    assert not (args.vararg or args.kwarg or args.kwonlyargs), node.name
    ordered = ([(POSITIONAL, a) for a in args.posonlyargs] + [(KEYWORD, a) for a in args.args])
    assert not method or ordered[0][1].arg == "self", node.name
    ordered = ordered[method:]
    defaults = [None] * (len(ordered) - len(args.defaults)) + [
        ast.literal_eval(d) for d in args.defaults]
    params = [(kind, a.arg if kind == KEYWORD else "", default)
              for (kind, a), default in zip(ordered, defaults)]
    return params, ast.unparse(node.returns)


def is_property(node):
    return any(isinstance(d, ast.Name) and d.id == "property" for d in node.decorator_list)


def members(body):
    """name -> AST node of the functions, classes and annotated names of a body."""
    found = {}
    for node in body:
        if isinstance(node, ast.AnnAssign):
            found[node.target.id] = node
        elif isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            assert node.name not in found, f"{node.name} declared twice"
            found[node.name] = node
    return found


STUB = members(ast.parse(STUB_PATH.read_text()).body)
CLASSES = [name for name, node in STUB.items() if isinstance(node, ast.ClassDef)]


def public(names):
    return {n for n in names if not n.startswith("_")}


def check_function(node, live, method):
    stub_params, stub_result = stub_signature(node, method)
    assert any(stub_params == params and stub_result == result
               for params, result in live_signatures(live.__doc__, method)), (
        f"{node.name}: stub {stub_params} -> {stub_result}, live {live.__doc__!r}")


def check_member(node, live, owner):
    if isinstance(node, ast.AnnAssign):
        kind = ast.unparse(node.annotation)
        assert kind in (owner, f"ClassVar[{owner}]", f"ClassVar[dict[str, {owner}]]")
        assert isinstance(live, getattr(Vantrel, owner)) or kind.startswith("ClassVar[dict")
    elif is_property(node):
        assert isinstance(live, property) and live.fset is None, f"{node.name} is not read-only"
        assert stub_signature(node, True)[1] == live_signatures(live.fget.__doc__, True)[0][1]
    else:
        assert callable(live) and not isinstance(live, property), node.name
        check_function(node, live, True)


def test_module_names_match():
    assert public(STUB) == public(dir(Vantrel))


@pytest.mark.parametrize("name", sorted(public(STUB)))
def test_module_member_matches(name):
    node = STUB[name]
    live = getattr(Vantrel, name)
    if isinstance(node, ast.ClassDef):
        assert isinstance(live, type)
    elif isinstance(node, ast.AnnAssign):
        assert isinstance(live, getattr(Vantrel, ast.unparse(node.annotation)))
    else:
        check_function(node, live, False)


@pytest.mark.parametrize("name", CLASSES)
def test_class_matches(name):
    cls, stub = getattr(Vantrel, name), members(STUB[name].body)
    assert public(stub) == public(vars(cls))
    for member, node in stub.items():
        assert member in vars(cls), f"{name}.{member} does not exist"
        check_member(node, vars(cls)[member], name)
    # A constructor the binding defines must be declared; one it lacks must not be.
    init_doc = getattr(vars(cls).get("__init__"), "__doc__", "") or ""
    assert ("__init__" in stub) == init_doc.startswith("__init__(")

def pytest_addoption(parser):
    parser.addoption("--simulate", action="store_true", help="test a simulated chip instead of the board")

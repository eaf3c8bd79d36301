"""Explore the Western US power grid with quiverlane.

The edge list ships beside this script (a cleaned copy of the KONECT
opsahl-powergrid network: 4,941 substations and 6,594 lines).
"""

from pathlib import Path

from quiverlane import Graph

DATA = Path(__file__).with_name("power-grid.edges")


def main() -> None:
    grid = Graph.from_file(str(DATA))
    print(f"loaded {grid}: {grid.num_vertices()} substations, {grid.num_edges()} lines")

    hub = max(grid.vertices(), key=grid.degree)
    print(f"best-connected substation: {hub} with {grid.degree(hub)} lines")
    for radius in (1, 2, 4, 8):
        print(f"  within {radius} hops of it: {len(grid.r_neighbours(hub, radius))} substations")

    parts = grid.components()
    print(f"connected components: {len(parts)}")

    # Knock out the hub and its direct neighbours, then see how the grid splits.
    damaged = grid.copy()
    for substation in grid.neighbours(hub) | {hub}:
        damaged.remove_vertex(substation)
    sizes = sorted((len(part) for part in damaged.components()), reverse=True)
    print(f"after losing the hub and its {grid.degree(hub)} neighbours: "
          f"{len(sizes)} components, largest {sizes[0]}, then {sizes[1:4]}")


if __name__ == "__main__":
    main()

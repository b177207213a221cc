function K = solid_stiffness(nodes_per_side)
% SOLID_STIFFNESS  A 3-D solid-like stiffness: 27-point coupling between the
% nodes of a cubic grid, 3 coupled degrees of freedom per node (81 entries
% per row, as trilinear hexahedra give).  32 nodes per side: 98,304 DOF.
  n = nodes_per_side;
  T = spdiags(ones(n, 1) * [-1 4 -1], -1:1, n, n);
  B = [4 1 1; 1 4 1; 1 1 4];
  K = kron(kron(kron(T, T), T), sparse(B));
end

function K = stencil7(m)
% STENCIL7  The 7-point Laplacian stencil of an m x m x m grid: a sparse
% symmetric matrix of m^3 rows and about 7 m^3 non-zeros, shaped like the
% stiffness of a 3-D solid model.
  e = ones(m, 1);
  T = spdiags([-e 2*e -e], -1:1, m, m);
  I = speye(m);
  K = kron(kron(T, I), I) + kron(kron(I, T), I) + kron(kron(I, I), T);
end

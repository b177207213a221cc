function model = elastic_block(L, n, E, nu, rho)
% ELASTIC_BLOCK  A clamped 3-D elastic block of 8-node brick elements.
%
%   model = elastic_block([Lx Ly Lz], [nx ny nz], E, nu, rho) meshes the box
%   [0,Lx] x [0,Ly] x [0,Lz] with nx x ny x nz equal trilinear bricks,
%   isotropic linear elastic (Young's modulus E, Poisson's ratio nu,
%   density rho), clamped on the face x = 0.  Returns
%     K      stiffness of the free degrees of freedom (sparse, symmetric)
%     m      lumped mass of each free degree of freedom (a brick's mass
%            shared equally by its 8 nodes)
%     dof    @(x, y, z, dir) the free DOF of the node at that point (dir 1..3)
%     nodes  node coordinates; free  the DOFs kept, among 3 per node
%   Nodes are numbered z fastest, then y, then x, three DOFs each, which
%   keeps the stiffness banded along the block.
%
%   On a regular grid of bricks, integrated exactly, every integral of
%   products of shape-function derivatives is a Kronecker product of 1-D
%   matrices, so the stiffness is assembled from them directly:
%     K(a i, b j) = lam T_ij + mu T_ji + mu delta_ij (T_xx + T_yy + T_zz),
%     T_kl = int d_k N_a d_l N_b dV.
  h = L ./ n;
  lam = E * nu / ((1 + nu) * (1 - 2 * nu));
  mu = E / (2 * (1 + nu));
  [K1, M1, G1] = deal(cell(1, 3));
  for d = 1:3
    [K1{d}, M1{d}, G1{d}] = line_matrices(n(d), h(d));
  end
  T = cell(3);
  for k = 1:3
    for l = 1:3
      f = M1;
      if k == l
        f{k} = K1{k};
      else
        f{k} = G1{k}; f{l} = G1{l}.';
      end
      T{k, l} = kron(f{1}, kron(f{2}, f{3}));       % z varies fastest
    end
  end
  laplace = T{1, 1} + T{2, 2} + T{3, 3};
  K = sparse(0);
  for i = 1:3
    for j = 1:3
      A = lam * T{i, j} + mu * T{j, i} + (i == j) * mu * laplace;
      Eij = sparse(i, j, 1, 3, 3);
      K = K + kron(A, Eij);
    end
  end
  K = (K + K.') / 2;
  lumped = @(d) full(sum(M1{d}, 2));
  m = rho * kron(kron(lumped(1), kron(lumped(2), lumped(3))), ones(3, 1));

  [iz, iy, ix] = ndgrid(0:n(3), 0:n(2), 0:n(1));
  nodes = [ix(:) * h(1), iy(:) * h(2), iz(:) * h(3)];
  free = find(kron(nodes(:, 1) > 0, ones(3, 1)));
  model.K = K(free, free);
  model.m = m(free);
  model.nodes = nodes;
  model.free = free;
  position = zeros(numel(m), 1); position(free) = 1:numel(free);
  node = @(x, y, z) 1 + round(z / h(3)) + (n(3) + 1) * (round(y / h(2)) + (n(2) + 1) * round(x / h(1)));
  model.dof = @(x, y, z, dir) position(3 * (node(x, y, z) - 1) + dir);
end

% Linear elements of length h on n intervals: stiffness int N'N', mass
% int N N and int N'_a N_b, assembled on the n+1 nodes.
function [K1, M1, G1] = line_matrices(n, h)
  e = ones(n + 1, 1);
  inner = [1; 2 * ones(n - 1, 1); 1];
  K1 = spdiags([-e inner -e], -1:1, n + 1, n + 1) / h;
  M1 = spdiags([e 2 * inner e], -1:1, n + 1, n + 1) * h / 6;
  % element [-1 -1; 1 1] / 2: row a holds N'_a times int N_b
  G1 = spdiags([e [-1; zeros(n - 1, 1); 1] -e], -1:1, n + 1, n + 1) / 2;
end

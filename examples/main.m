% The main job, for now: a sparse stiffness, its product with a vector on
% the worker threads ("tbbp"), checked against Octave's own product.
here = fileparts(mfilename('fullpath'));
addpath(fullfile(here, '..', 'build'), fullfile(here, '..', 'm'));
n = 60; e = ones(n, 1);
T = spdiags([-e 2*e -e], -1:1, n, n); I = speye(n);
K = kron(kron(T, I), I) + kron(kron(I, T), I) + kron(kron(I, I), T);
x = rand(size(K, 1), 1);
y = zeros(size(K, 1), 1);
spardyn('tbbp', sparse_description(K), x, y);
err = norm(y - K.' * x) / norm(K.' * x);
printf('tbbp on a %d-DOF stencil stiffness (%d non-zeros): relative error %.2e\n', ...
       size(K, 1), nnz(K), err);
if err > 1e-13, error('tbbp disagrees with Octave'); end

function R = nl_relative(ndof, pairs, what)
% R(i,:) * u = u(pairs(i,1)) - u(pairs(i,2)), a 0 in column 2 meaning ground.
  if isempty(pairs) || size(pairs, 2) ~= 2 || any(pairs(:) < 0) || ...
     any(pairs(:) > ndof) || any(pairs(:, 1) < 1) || any(pairs(:) ~= fix(pairs(:)))
    error('VRK:spardyn:Invalid', ['%s: DOF pairs must be a k x 2 array of ' ...
          'positions in 1 … %d (0 in column 2 for ground)'], what, ndof);
  end
  k = size(pairs, 1);
  i = [(1:k)'; find(pairs(:, 2) > 0)];
  j = [pairs(:, 1); pairs(pairs(:, 2) > 0, 2)];
  s = [ones(k, 1); -ones(nnz(pairs(:, 2) > 0), 1)];
  R = sparse(i, j, s, k, ndof);
end

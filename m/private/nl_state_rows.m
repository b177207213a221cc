function S = nl_state_rows(ndof, first, k, what)
% S(i,:) * u = u(first + i - 1): the rows that read k internal states back.
  if ~isscalar(first) || first ~= fix(first) || first < 2 || first + k - 1 > ndof
    error('VRK:spardyn:Invalid', ['%s: the %d states need positions first … ' ...
          'first+%d within 2 … %d of u'], what, k, k - 1, ndof);
  end
  S = sparse(1:k, first + (0:k - 1), 1, k, ndof);
end
